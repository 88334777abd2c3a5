#pragma once

#include <cstddef>
#include <list>

namespace zalvo {

class Observer;

// Calls its observers back in order of attachment; leaves every observer's list when destroyed.
class Subject {
public:
    Subject() = default;
    virtual ~Subject();
    Subject(const Subject&) = delete;
    Subject& operator=(const Subject&) = delete;

    void attach(Observer* observer);
    void detach(Observer* observer);
    void notify();

    std::size_t observerCount() const { return observers.size(); }

private:
    std::list<Observer*> observers;
};

} // namespace zalvo
