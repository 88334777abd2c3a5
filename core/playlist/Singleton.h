#pragma once

namespace zalvo {

// The one process-wide instance of T, created on first use and never destroyed. The first use may come
// from any thread: the audio threads read the settings too.
template <typename T> class Singleton {
public:
    virtual ~Singleton() = default;

    static T* getInstance() {
        static T* const instance = new T();
        return instance;
    }

protected:
    Singleton() = default;
};

} // namespace zalvo
