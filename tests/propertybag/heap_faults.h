// Makes the calling thread's heap allocations (operator new) fail on demand, so that tests reach
// the allocation-failure paths of the property model. Other threads are never affected.
#pragma once

class HeapFailure {
public:
    // After `successes` more allocations on this thread, the next one throws std::bad_alloc; the
    // ones after it succeed again.
    explicit HeapFailure(long successes);
    ~HeapFailure();
    HeapFailure(const HeapFailure&) = delete;
    HeapFailure& operator=(const HeapFailure&) = delete;

    // Whether the planned failure has happened.
    bool triggered() const;
};
