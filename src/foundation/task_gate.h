// The scan-task gate: at most as many folder-scan tasks run at once as the limit allows (the
// processor count, set at start-up). Any thread: the scan's walker waits, its workers leave.
//
// gf_waitTaskGate takes the slot itself (counter + 1 in the same atomic step that finds it below
// the limit), so two walkers can never both pass on the last free slot and a task that ends
// quickly cannot drive the counter below zero. Callers do not add 1 themselves.
#pragma once

#include <cstdint>
#include <mutex>

void gf_setTaskGateLimit(std::uint32_t limit);  // 0 counts as 1
std::uint32_t gf_taskGateLimit();
// Sets the limit to the processor count (at least 1); it starts there too.
void gf_initTaskGate();
// Returns once a slot is free and taken, sleeping 10000 ns between looks.
void gf_waitTaskGate();
// Gives back a slot taken by gf_waitTaskGate.
void gf_leaveTaskGate();
// Slots taken now.
std::uint32_t gf_taskGateCount();

// Holds one slot of the gate and gives it back exactly once: on destruction, or on leave().
// Movable, so the walker can take the slot and hand it to the worker's thread: when starting
// the thread fails, the walker's guard still gives it back.
class TaskGateSlot {
public:
    TaskGateSlot() { gf_waitTaskGate(); }               // waits for and takes a slot
    explicit TaskGateSlot(std::adopt_lock_t) {}          // adopts a slot already taken
    ~TaskGateSlot() { leave(); }
    TaskGateSlot(TaskGateSlot&& other) noexcept : m_owned(other.m_owned) { other.m_owned = false; }
    TaskGateSlot& operator=(TaskGateSlot&& other) noexcept
    {
        if (this != &other) {
            leave();
            m_owned = other.m_owned;
            other.m_owned = false;
        }
        return *this;
    }
    TaskGateSlot(const TaskGateSlot&) = delete;
    TaskGateSlot& operator=(const TaskGateSlot&) = delete;

    void leave()
    {
        if (m_owned) {
            m_owned = false;
            gf_leaveTaskGate();
        }
    }
    bool owned() const { return m_owned; }

private:
    bool m_owned = true;
};
