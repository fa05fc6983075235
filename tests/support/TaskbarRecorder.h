// The dialog's taskbar button, recorded while this object lives: which window asked for
// one, and every state and value shown on it. The dialog calls it on its own thread; the
// test reads it from another.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

#include "TaskbarProgress.h"

class TaskbarRecorder {
public:
    struct Value {
        ULONGLONG completed;
        ULONGLONG total;
        bool operator==(const Value& other) const { return completed == other.completed && total == other.total; }
    };

    TaskbarRecorder()
    {
        current_ = this;
        OpenTaskbarButton = &Open;
    }
    ~TaskbarRecorder()
    {
        OpenTaskbarButton = saved_;
        current_ = nullptr;
    }
    TaskbarRecorder(const TaskbarRecorder&) = delete;
    TaskbarRecorder& operator=(const TaskbarRecorder&) = delete;

    // What the shell sends `window` once its button exists.
    static void Announce(HWND window) { SendMessageA(window, WM_TASKBARBUTTONCREATED, 0, 0); }

    std::vector<HWND> Opened() const { return Locked(opened_); }
    std::vector<TBPFLAG> States() const { return Locked(states_); }
    std::vector<Value> Values() const { return Locked(values_); }

private:
    class Button : public TaskbarButton {
    public:
        void SetProgressState(TBPFLAG state) override
        {
            std::lock_guard<std::mutex> lock(current_->mutex_);
            current_->states_.push_back(state);
        }
        void SetProgressValue(ULONGLONG completed, ULONGLONG total) override
        {
            std::lock_guard<std::mutex> lock(current_->mutex_);
            current_->values_.push_back({completed, total});
        }
    };

    static std::unique_ptr<TaskbarButton> Open(HWND window)
    {
        std::lock_guard<std::mutex> lock(current_->mutex_);
        current_->opened_.push_back(window);
        return std::unique_ptr<TaskbarButton>(new Button);
    }

    template <typename T>
    std::vector<T> Locked(const std::vector<T>& calls) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls;
    }

    static inline TaskbarRecorder* current_ = nullptr;
    std::unique_ptr<TaskbarButton> (*saved_)(HWND) = OpenTaskbarButton;
    mutable std::mutex mutex_;
    std::vector<HWND> opened_;
    std::vector<TBPFLAG> states_;
    std::vector<Value> values_;
};
