#include "playlist/Observer.h"

#include "playlist/Subject.h"

#include <algorithm>

namespace zalvo {

Observer::~Observer() {
    for (Subject* subject : subjects) {
        subject->detach(this);
    }
}

void Observer::update() {}

void Observer::addSubject(Subject* subject) {
    subjects.push_back(subject);
}

void Observer::removeSubject(Subject* subject) {
    const auto found = std::find(subjects.begin(), subjects.end(), subject);
    if (found != subjects.end()) {
        subjects.erase(found);
    }
}

} // namespace zalvo
