// State that a module keeps for one record (a connection, a window) and that
// dies with it. Each module declares one RecordSlot<T> for its state type; a
// record holds a RecordSlots, which makes the module's T on first use and
// destroys every T it holds when the record is destroyed (in the reverse order
// of the slots' declaration).
//
//   RecordSlot<FloodState> flood_slot;             // file scope, in the module
//   FloodState& st = conn->state_slots.get(flood_slot);  // made on first use
//   FloodState* st = conn->state_slots.find(flood_slot); // null while not made
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

// A new slot number (one per RecordSlot, counted from 0).
int record_slot_next_id();
// How many slot states exist now over all records (made and not yet destroyed).
std::size_t record_slots_live();
void record_slots_count(int change);

template <class T>
class RecordSlot {
public:
    RecordSlot() : id_(record_slot_next_id()) {}
    RecordSlot(const RecordSlot&) = delete;
    RecordSlot& operator=(const RecordSlot&) = delete;
    int id() const { return id_; }

private:
    int id_;
};

class RecordSlots {
public:
    RecordSlots() = default;
    RecordSlots(const RecordSlots&) = delete;
    RecordSlots& operator=(const RecordSlots&) = delete;
    ~RecordSlots() { clear_all(); }

    // The state of the slot, made (value-initialised) when there is none.
    template <class T>
    T& get(const RecordSlot<T>& slot)
    {
        const std::size_t i = static_cast<std::size_t>(slot.id());
        if (i >= held_.size())
            held_.resize(i + 1);
        if (!held_[i]) {
            held_[i] = std::make_unique<Held<T>>();
            record_slots_count(1);
        }
        return static_cast<Held<T>*>(held_[i].get())->value;
    }

    // The state of the slot, or null while it has none.
    template <class T>
    T* find(const RecordSlot<T>& slot) const
    {
        const std::size_t i = static_cast<std::size_t>(slot.id());
        if (i >= held_.size() || !held_[i])
            return nullptr;
        return &static_cast<Held<T>*>(held_[i].get())->value;
    }

    // Destroys the state of the slot (the next get() makes a fresh one).
    template <class T>
    void reset(const RecordSlot<T>& slot)
    {
        drop(static_cast<std::size_t>(slot.id()));
    }

    // Destroys every state, the last slot first.
    void clear_all()
    {
        for (std::size_t i = held_.size(); i-- > 0;)
            drop(i);
        held_.clear();
    }

private:
    struct HeldBase {
        virtual ~HeldBase() = default;
    };
    template <class T>
    struct Held : HeldBase {
        T value{};
    };

    void drop(std::size_t i)
    {
        if (i >= held_.size() || !held_[i])
            return;
        // Taken out first: a destructor that reaches back into the record
        // finds the slot empty.
        std::unique_ptr<HeldBase> gone = std::move(held_[i]);
        gone.reset();
        record_slots_count(-1);
    }

    std::vector<std::unique_ptr<HeldBase>> held_;
};
