#include "playlist/Subject.h"

#include "playlist/Observer.h"

#include <algorithm>

namespace zalvo {

Subject::~Subject() {
    for (Observer* observer : observers) {
        observer->removeSubject(this);
    }
}

void Subject::attach(Observer* observer) {
    observers.push_back(observer);
    observer->addSubject(this);
}

void Subject::detach(Observer* observer) {
    const auto found = std::find(observers.begin(), observers.end(), observer);
    if (found != observers.end()) {
        observers.erase(found);
    }
}

void Subject::notify() {
    for (Observer* observer : observers) {
        observer->update();
    }
}

} // namespace zalvo
