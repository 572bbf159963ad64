// Intrusive reference counting for streams, containers, property sets and
// other shared engine objects. Counts are plain integers: an object and its
// handles belong to one thread.
#pragma once

#include <cstdint>
#include <utility>

class LVRefCounter {
public:
    LVRefCounter() = default;
    LVRefCounter(const LVRefCounter&) : refCount_(0) {}
    LVRefCounter& operator=(const LVRefCounter&) { return *this; }
    virtual ~LVRefCounter() = default;

    void addRef() { ++refCount_; }
    // Drops one reference and deletes the object when none is left.
    void release() {
        if (--refCount_ <= 0) delete this;
    }
    int32_t refCount() const { return refCount_; }

private:
    int32_t refCount_ = 0;
};

// A handle holding one reference to T (which derives from LVRefCounter).
// A null handle means "no object" and is how factories report failure.
template <class T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    Ref(T* p) : p_(p) {
        if (p_) p_->addRef();
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    Ref(const Ref<U>& o) : Ref(o.get()) {}
    ~Ref() { reset(); }

    Ref& operator=(const Ref& o) {
        Ref(o).swap(*this);
        return *this;
    }
    Ref& operator=(Ref&& o) noexcept {
        Ref(std::move(o)).swap(*this);
        return *this;
    }
    Ref& operator=(T* p) {
        Ref(p).swap(*this);
        return *this;
    }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->release();
    }
    void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool isNull() const { return p_ == nullptr; }
    bool operator==(const Ref& o) const { return p_ == o.p_; }

private:
    T* p_ = nullptr;
};
