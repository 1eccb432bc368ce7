// The sequence as the HTTP threads see it: the instrument thread publishes the current
// sequence's state after each change; readers copy it without waiting on the line.
#pragma once

#include <mutex>
#include <optional>
#include <string>

namespace gc6890 {

class SequenceBoard {
public:
    // `json`: the state of sequence `id`; `active` while it runs, pauses or is paused.
    void set(const std::string& id, std::string json, bool active)
    {
        std::lock_guard lock(mutex_);
        id_ = id;
        json_ = std::move(json);
        active_ = active;
    }
    // The state of `id` when it is the sequence the service holds.
    std::optional<std::string> find(const std::string& id) const
    {
        std::lock_guard lock(mutex_);
        if (id_.empty() || id != id_)
            return std::nullopt;
        return json_;
    }
    // The id of the sequence under way ("" for none).
    std::string active() const
    {
        std::lock_guard lock(mutex_);
        return active_ ? id_ : std::string();
    }
    // The latest sequence's id and state ("" when the service has held none).
    std::pair<std::string, std::string> latest() const
    {
        std::lock_guard lock(mutex_);
        return {id_, json_};
    }

private:
    mutable std::mutex mutex_;
    std::string id_;
    std::string json_;
    bool active_ = false;
};

}  // namespace gc6890
