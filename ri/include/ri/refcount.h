// Reference-counted records and the handles that hold them. A record is
// destroyed (through its virtual destructor, so pooled records go back to their
// pool) when the last handle lets go.
#pragma once

// Base of every shared record: the reference count, 0 when made.
class RefCounted {
public:
    RefCounted() = default;
    RefCounted(const RefCounted &) : refcount(0) {}
    RefCounted &operator=(const RefCounted &) { return *this; }   // the count stays
    virtual ~RefCounted() = default;
    int refcount = 0;
};

// The untyped part of a handle: works on records whose type is not known here
// (shader instances and trim loops belong to later modules).
class RefHandle {
public:
    RefHandle() = default;
    RefHandle(const RefHandle &o) : p_(o.p_) { acquire(p_); }
    // The new record is taken before the old one is let go, so assigning a
    // handle to itself (or to another handle of the same record) keeps it alive.
    RefHandle &operator=(const RefHandle &o)
    {
        RefCounted *old = p_;
        acquire(o.p_);
        p_ = o.p_;
        drop(old);
        return *this;
    }
    ~RefHandle() { drop(p_); }
    bool is_set() const { return p_ != nullptr; }
    // Trades records with o: no count changes hands.
    void swap(RefHandle &o) noexcept
    {
        RefCounted *t = p_;
        p_ = o.p_;
        o.p_ = t;
    }
    // Lets go of the record; the handle becomes empty.
    void clear()
    {
        RefCounted *old = p_;
        p_ = nullptr;
        drop(old);
    }

protected:
    void set_base(RefCounted *p)
    {
        RefCounted *old = p_;
        acquire(p);
        p_ = p;
        drop(old);
    }
    RefCounted *base() const { return p_; }

private:
    static void acquire(RefCounted *p)
    {
        if (p) p->refcount++;
    }
    static void drop(RefCounted *p)
    {
        if (p && --p->refcount <= 0) delete p;
    }
    RefCounted *p_ = nullptr;
};

// A typed handle. T must derive publicly from RefCounted; only set, get and the
// access operators need T to be complete.
template <class T>
class Ref : public RefHandle {
public:
    Ref() = default;
    Ref(T *p) { set(p); }
    void set(T *p) { set_base(p); }
    T *get() const { return static_cast<T *>(base()); }
    T *pointer() const { return get(); }
    T *operator->() const { return get(); }
    T &operator*() const { return *get(); }
};
