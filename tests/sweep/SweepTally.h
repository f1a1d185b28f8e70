// Counts of the fault sweep across all its tests: the faults injected and the distinct paths the runs
// took, printed once when the test program ends.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace Quelvo::testing::sweep
{
class SweepTally
{
public:
    static SweepTally& Instance()
    {
        static SweepTally tally;
        return tally;
    }

    void AddPlatformFaults(std::size_t count) { m_platformFaults += count; }
    void AddLibraryFaults(std::size_t count) { m_libraryFaults += count; }
    void AddRun() { ++m_runs; }

    // One path is the sequence of simulated calls together with the calls that reached the product.
    void AddPath(const std::vector<std::string>& calls, const std::vector<std::string>& journal)
    {
        std::string path;
        for (const auto& call : calls)
        {
            path += call;
            path += '\n';
        }
        path += "--\n";
        for (const auto& entry : journal)
        {
            path += entry;
            path += '\n';
        }
        m_paths.insert(std::move(path));
    }

    std::size_t PlatformFaults() const { return m_platformFaults; }
    std::size_t LibraryFaults() const { return m_libraryFaults; }
    std::size_t Runs() const { return m_runs; }
    std::size_t DistinctPaths() const { return m_paths.size(); }

private:
    std::size_t m_platformFaults = 0;
    std::size_t m_libraryFaults = 0;
    std::size_t m_runs = 0;
    std::set<std::string> m_paths;
};
} // namespace Quelvo::testing::sweep
