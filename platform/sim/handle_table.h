// The live handles of one kind (device information sets, registry keys). A handle is an opaque
// number, never null, never INVALID_HANDLE_VALUE and never reused, so that a closed or made-up
// handle is always recognised as invalid.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace winsim {

std::uintptr_t nextHandleValue();

template <class Object> class HandleTable {
public:
    template <class Handle> Handle add(std::shared_ptr<Object> object) {
        const std::uintptr_t value = nextHandleValue();
        const std::lock_guard<std::mutex> lock(mutex_);
        live_.emplace(value, std::move(object));
        return reinterpret_cast<Handle>(value);
    }

    template <class Handle> std::shared_ptr<Object> find(Handle handle) const {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = live_.find(reinterpret_cast<std::uintptr_t>(handle));
        return found == live_.end() ? nullptr : found->second;
    }

    // The object of a handle that is no longer live; null when the handle was not live.
    template <class Handle> std::shared_ptr<Object> remove(Handle handle) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto found = live_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (found == live_.end()) {
            return nullptr;
        }
        std::shared_ptr<Object> object = std::move(found->second);
        live_.erase(found);
        return object;
    }

    std::size_t size() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return live_.size();
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> live_;
};

} // namespace winsim
