// A typed one-to-many notification. Listeners add themselves with an
// explicit priority (lower runs first; equal priorities run in the order
// they were added) and remove themselves by the id that add() returned.
//
// A listener may add or remove listeners while the signal is being
// fired: a listener removed during a fire is not called afterwards in
// that fire, and a listener added during a fire first hears the next one.
//
// Signal<void(Args...)>::fire calls every listener. For listeners that
// return a value, fire() calls every listener and tells whether any of them
// returned a true value; any() stops at the first that does. fire_range()
// calls only the listeners of a band of priorities, for a caller that runs
// steps of its own between the bands.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

template <class Sig>
class Signal;

template <class R, class... Args>
class Signal<R(Args...)> {
public:
    using Listener = std::function<R(Args...)>;

    // Adds a listener; returns its id (never 0). A null listener is not
    // added and gives 0.
    int add(int priority, Listener fn)
    {
        if (!fn)
            return 0;
        const int id = ++last_id_;
        Entry e{id, priority, std::move(fn), true};
        if (depth_ > 0)
            pending_.push_back(std::move(e));
        else
            insert(std::move(e));
        return id;
    }

    // Adds the listener unless the id already names a live one here (an
    // install run twice adds once); the id is kept in `id`.
    void add_once(int& id, int priority, Listener fn)
    {
        if (!contains(id))
            id = add(priority, std::move(fn));
    }

    // Removes the listener `id` names, if any, and clears the id.
    void drop(int& id)
    {
        remove(id);
        id = 0;
    }

    // Removes the listener with this id; false when there is none.
    bool remove(int id)
    {
        if (id == 0)
            return false;
        for (auto it = pending_.begin(); it != pending_.end(); ++it)
            if (it->id == id) {
                pending_.erase(it);
                return true;
            }
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->id == id && it->live) {
                if (depth_ > 0) {
                    it->live = false;
                    dirty_ = true;
                } else {
                    entries_.erase(it);
                }
                return true;
            }
        return false;
    }

    bool contains(int id) const
    {
        for (const Entry& e : entries_)
            if (e.id == id && e.live)
                return true;
        for (const Entry& e : pending_)
            if (e.id == id)
                return true;
        return false;
    }

    // Live listeners, those added during a fire included.
    std::size_t size() const
    {
        std::size_t n = pending_.size();
        for (const Entry& e : entries_)
            if (e.live)
                ++n;
        return n;
    }

    bool empty() const { return size() == 0; }

    // Whether a live listener was added with this priority (the start-up
    // check names each expected listener by its signal and priority).
    bool has_priority(int priority) const
    {
        for (const Entry& e : entries_)
            if (e.live && e.priority == priority)
                return true;
        for (const Entry& e : pending_)
            if (e.priority == priority)
                return true;
        return false;
    }

    auto fire(Args... args)
    {
        if constexpr (std::is_void_v<R>) {
            run(false, kAll, args...);
        } else {
            return run(false, kAll, args...);
        }
    }

    // For listeners that return a value: true at the first listener that
    // returns a true value (the rest are not called).
    bool any(Args... args)
    {
        static_assert(!std::is_void_v<R>, "any() needs listeners that return a value");
        return run(true, kAll, args...);
    }

    // Calls the listeners whose priority is at least `from` and below `to`.
    auto fire_range(int from, int to, Args... args)
    {
        if constexpr (std::is_void_v<R>) {
            run(false, Band{from, to, false}, args...);
        } else {
            return run(false, Band{from, to, false}, args...);
        }
    }

private:
    struct Entry {
        int id;
        int priority;
        Listener fn;
        bool live;
    };

    struct Depth {
        Signal* s;
        explicit Depth(Signal* sig) : s(sig) { ++s->depth_; }
        ~Depth()
        {
            if (--s->depth_ == 0)
                s->settle();
        }
    };

    // The priorities a fire reaches: all, or from <= priority < to.
    struct Band {
        int from;
        int to;
        bool all;
        bool holds(int priority) const { return all || (priority >= from && priority < to); }
    };
    static constexpr Band kAll{0, 0, true};

    bool run(bool stop_at_true, Band band, Args&... args)
    {
        Depth guard(this);
        bool any_true = false;
        // The vector is not reshaped while depth_ > 0: indexes stay valid.
        const std::size_t n = entries_.size();
        for (std::size_t i = 0; i < n; ++i) {
            if (!entries_[i].live || !band.holds(entries_[i].priority))
                continue;
            if constexpr (std::is_void_v<R>) {
                entries_[i].fn(args...);
            } else {
                if (entries_[i].fn(args...)) {
                    any_true = true;
                    if (stop_at_true)
                        break;
                }
            }
        }
        return any_true;
    }

    void insert(Entry e)
    {
        auto at = std::upper_bound(entries_.begin(), entries_.end(), e.priority,
                                   [](int p, const Entry& x) { return p < x.priority; });
        entries_.insert(at, std::move(e));
    }

    // After the outermost fire: drop removed listeners, take in added ones.
    void settle()
    {
        if (dirty_) {
            entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                          [](const Entry& e) { return !e.live; }),
                           entries_.end());
            dirty_ = false;
        }
        std::vector<Entry> added;
        added.swap(pending_);
        for (Entry& e : added)
            insert(std::move(e));
    }

    std::vector<Entry> entries_;
    std::vector<Entry> pending_;
    int last_id_ = 0;
    int depth_ = 0;
    bool dirty_ = false;
};
