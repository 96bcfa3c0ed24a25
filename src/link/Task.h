#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

// One step of a conversation with the instrument, written as straight-line code: a coroutine
// that suspends at each transaction, pause or message and is resumed by the port's signals
// and timers, never by a waiting loop. It starts when first awaited and hands its value to
// the coroutine that awaits it. Destroying a Task destroys its frame and every Task it is
// awaiting: that is how a cancelled job ends without running another line.
template <class T> class Task;

namespace task_detail {

struct PromiseBase
{
    std::coroutine_handle<> continuation;

    std::suspend_always initial_suspend() noexcept { return {}; }
    struct Final
    {
        bool await_ready() noexcept { return false; }
        template <class P>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<P> h) noexcept
        {
            const std::coroutine_handle<> next = h.promise().continuation;
            return next ? next : std::noop_coroutine();
        }
        void await_resume() noexcept {}
    };
    Final final_suspend() noexcept { return {}; }
    // Nothing in a conversation throws; an exception would be a programming error.
    void unhandled_exception() noexcept { std::terminate(); }
};

template <class T> struct Promise : PromiseBase
{
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    template <class U> void return_value(U&& v) { value.emplace(std::forward<U>(v)); }
    T take() { return std::move(*value); }
};

template <> struct Promise<void> : PromiseBase
{
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
    void take() {}
};

} // namespace task_detail

template <class T> class [[nodiscard]] Task
{
public:
    using promise_type = task_detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle h) : m_h(h) {}
    Task(Task&& other) noexcept : m_h(std::exchange(other.m_h, {})) {}
    Task& operator=(Task&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_h = std::exchange(other.m_h, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { reset(); }

    bool valid() const { return bool(m_h); }
    bool done() const { return m_h && m_h.done(); }
    // Starts (or goes on with) the coroutine from outside any coroutine: the job's driver.
    void resume() { m_h.resume(); }
    T result() { return m_h.promise().take(); }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept
    {
        m_h.promise().continuation = awaiting;
        return m_h;
    }
    T await_resume() { return m_h.promise().take(); }

private:
    void reset()
    {
        if (m_h)
            std::exchange(m_h, {}).destroy();
    }

    Handle m_h;
};

namespace task_detail {

template <class T> Task<T> Promise<T>::get_return_object() noexcept
{
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline Task<void> Promise<void>::get_return_object() noexcept
{
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

} // namespace task_detail
