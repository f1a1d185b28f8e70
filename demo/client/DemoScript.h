// What the demo library does, read from the key=value lines of the file named by DEMO_PRODUCT_SCRIPT:
//   result.<Operation>=<code>   result of an operation (Connect, Enable, Disable, IsEnableAllowed,
//                                FirewallEnable, StartUpdate, GetUiPath, GetTimestamp, Launch, Create...)
//   null.<CreateOperation>=1    the creation succeeds but hands out no object
//   firewall.allowed=0|1        what IsEnableAllowed reports (default 1)
//   ui.path=<path>              the UI path; without it, none
//   timestamp=<text>            the time stamp; without it, none
//   string.release=one|two      which release function strings carry (default one)
//   launcher.start=1            Launch really starts the program and waits for it
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace DemoProduct
{
class Script
{
public:
    static Script& Instance();
    void Load();

    std::uint32_t Result(const std::string& operation) const;
    bool Flag(const std::string& key, bool fallback) const;
    std::optional<std::string> Value(const std::string& key) const;

private:
    std::map<std::string, std::string> m_values;
};
} // namespace DemoProduct
