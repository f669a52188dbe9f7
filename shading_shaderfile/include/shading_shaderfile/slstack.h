// The shading interpreter's one value stack: a numeric area of 32-bit words
// and a string area of text pointers, both filled from the top down. Every
// push checks for overflow and every pop for underflow (below the floor of the
// running shader); a failure is reported once, marks the stack failed so the
// run stops, and the access goes to a scratch area instead of the stack.
#pragma once
#include <cstdint>
#include <cstring>

class SLStack {
public:
    static const int WORDS = 8000;        // numeric words
    static const int STRINGS = 800;       // string slots
    static const int MAX_SPAN = 64;       // most words one access may take

    // The tops, and the floors of the running shader.
    struct Marks {
        int top, stop, floor, sfloor;
    };

    // n new words on top (x first at the lowest address), uninitialised.
    // The checks stay inline: the interpreter pushes and pops on every op.
    float *push_space(int n)
    {
        if (__builtin_expect(failed_ || n > MAX_SPAN || top - n < 0, 0)) return push_failed();
        top -= n;
        return num + top;
    }
    void push_float(float f) { *push_space(1) = f; }
    // One word with the given bits (truth values are the words 1 and 0).
    void push_word(uint32_t w) { std::memcpy(push_space(1), &w, 4); }
    void push_truth(bool b) { push_word(b ? 1u : 0u); }
    void push_triple(const float *v) { std::memcpy(push_space(3), v, 12); }
    void push_string(const char *s);

    // The top n words, in place (the top word is the last of them).
    float *top_ptr(int n = 1)
    {
        if (__builtin_expect(failed_ || n > MAX_SPAN || top + n > floor, 0)) return top_failed();
        return num + top;
    }
    // The top n words, removed (read them before the next push).
    float *pop_span(int n)
    {
        if (__builtin_expect(failed_ || n > MAX_SPAN || top + n > floor, 0)) return top_failed();
        float *p = num + top;
        top += n;
        return p;
    }
    float pop_float() { return *pop_span(1); }
    uint32_t pop_word()
    {
        uint32_t w;
        std::memcpy(&w, pop_span(1), 4);
        return w;
    }
    // True when the popped word is non-zero (so -0.0 is true).
    bool pop_truth() { return pop_word() != 0; }
    void pop_triple(float *v) { std::memcpy(v, pop_span(3), 12); }
    void pop_matrix(float *m) { std::memcpy(m, pop_span(16), 64); }
    const char *pop_string();
    // The top string slot, in place.
    const char **string_top_ptr();
    // Removes n words (checked like a pop).
    void drop(int n)
    {
        if (__builtin_expect(failed_ || n < 0 || top + n > floor, 0)) return drop_failed();
        top += n;
    }
    void drop_strings(int n);

    // Takes a block of bytes for a shader's locals (rounded up to an even
    // number of words), filled from init (bytes of it) when given; the block
    // becomes the new floor. On overflow: reported, scratch returned.
    char *reserve(int bytes, const void *init);

    Marks save_marks() const { return {top, stop, floor, sfloor}; }
    // Puts the tops and floors back. Leaving the outermost run clears the
    // failed state.
    void restore_marks(const Marks &m);
    // Marks the floor of a run at the current tops.
    void set_floor() { floor = top; sfloor = stop; }

    // Words and strings on the stack.
    int depth() const { return WORDS - top; }
    int string_depth() const { return STRINGS - stop; }
    bool failed() const { return failed_; }
    // Runs in progress (nested runs restore marks in order).
    int runs = 0;

    float num[WORDS];
    int top = WORDS;
    const char *str[STRINGS];
    int stop = STRINGS;
    int floor = WORDS;       // pops may not go below the running shader's start
    int sfloor = STRINGS;

private:
    void overflow();
    void underflow();
    float *push_failed();
    float *top_failed();
    void drop_failed();
    float *scratch_words();
    bool failed_ = false;
    float scratch_[MAX_SPAN];
    const char *string_scratch_ = nullptr;
};

// The one stack of the program.
extern SLStack slstack;
