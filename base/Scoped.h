// Unique owner of one value with a release action supplied by its user. The action runs exactly once,
// on whatever value is stored then (null included), so it must accept every value.
#pragma once

#include <functional>
#include <utility>

namespace Quelvo
{
template <class T>
class Scoped
{
public:
    Scoped(T value, std::function<void(T&)> release)
        : m_value(std::move(value)), m_release(std::move(release))
    {
    }

    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    // The stored value by reference, so that a Win32 call can write its out-parameter into it.
    virtual T& Get() { return m_value; }

    virtual ~Scoped()
    {
        if (m_release)
        {
            m_release(m_value);
        }
    }

private:
    T m_value;
    std::function<void(T&)> m_release;
};
} // namespace Quelvo
