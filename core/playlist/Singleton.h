#pragma once

// The one process-wide instance of T, created on first use and never destroyed.
template <typename T> class Singleton {
public:
    virtual ~Singleton() = default;

    static T* getInstance() {
        if (instance == nullptr) {
            instance = new T();
        }
        return instance;
    }

protected:
    Singleton() = default;

private:
    static inline T* instance = nullptr;
};
