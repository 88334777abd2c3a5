#pragma once

#include <list>

namespace zalvo {

class Subject;

// Something that wants to hear of a subject's changes; it leaves every subject's list when destroyed.
class Observer {
public:
    Observer() = default;
    virtual ~Observer();
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    virtual void update();

    void addSubject(Subject* subject);
    void removeSubject(Subject* subject);

private:
    std::list<Subject*> subjects;
};

} // namespace zalvo
