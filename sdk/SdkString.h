// Text handed out by the client library: UTF-8 together with the library's own release functions.
#pragma once

namespace Quelvo::EndpointProtectionSdk
{
// Five pointer-sized words, laid out as the library writes them. The caller zero-fills it before the
// call that fills it.
struct SdkString
{
    const char* text;
    void* context;
    void* owner;
    void (*releaseWithContext)(void* owner, void* context);
    void (*release)(void* owner);
};

static_assert(sizeof(SdkString) == 5 * sizeof(void*), "SdkString is five pointer-sized words");

// Owns one SdkString: zero-filled on construction, released exactly once on destruction. The library's
// rule: when there is an owner, its one-argument release if set, otherwise its two-argument release.
class SdkStringHolder
{
public:
    SdkStringHolder() = default;
    SdkStringHolder(const SdkStringHolder&) = delete;
    SdkStringHolder& operator=(const SdkStringHolder&) = delete;

    ~SdkStringHolder()
    {
        if (m_string.owner == nullptr)
        {
            return;
        }
        if (m_string.release != nullptr)
        {
            m_string.release(m_string.owner);
        }
        else if (m_string.releaseWithContext != nullptr)
        {
            m_string.releaseWithContext(m_string.owner, m_string.context);
        }
    }

    // Where the library writes the string.
    SdkString* Put() { return &m_string; }

    // The text, or null when the library gave none.
    const char* Text() const { return m_string.text; }

private:
    SdkString m_string{};
};
} // namespace Quelvo::EndpointProtectionSdk
