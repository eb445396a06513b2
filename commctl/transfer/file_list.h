// The names a transfer sends or receives into, queued by the application
// (Upload, Download) on the GUI thread and taken by the protocol on the
// worker thread.
//
// Once the protocol has found the list empty the list is closed: a name
// that comes after that is refused (the caller reports it), instead of
// being queued for a transfer that will never look at it again.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace tolvex::transfer {

class FileList {
public:
    // False when the list is closed.
    bool Add(std::string name)
    {
        std::lock_guard lk(m_);
        if (closed_)
            return false;
        names_.push_back(std::move(name));
        return true;
    }

    // The next name; none (and the list closed) when it is empty.
    std::optional<std::string> Take()
    {
        std::lock_guard lk(m_);
        if (names_.empty()) {
            closed_ = true;
            return std::nullopt;
        }
        std::string n = std::move(names_.front());
        names_.pop_front();
        return n;
    }

    // Whether another name waits, without closing the list.
    bool Empty() const
    {
        std::lock_guard lk(m_);
        return names_.empty();
    }

private:
    mutable std::mutex m_;
    std::deque<std::string> names_;
    bool closed_ = false;
};

}  // namespace tolvex::transfer
