#include "ItemNames.h"

#include <algorithm>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "FileNames.h"

namespace {

std::wstring KeyOf(const std::string& path)
{
    WCHAR key[kFileKeySize];
    const size_t length = FileKey(path.c_str(), path.size() + 1, key);
    return std::wstring(key, length);
}

bool Holds(const std::vector<std::wstring>& sorted, const std::wstring& key)
{
    return !key.empty() && std::binary_search(sorted.begin(), sorted.end(), key);
}

}  // namespace

bool NameItems(const char* const* paths, int count, ItemName* names)
{
    try {
        std::vector<std::wstring> keys(static_cast<size_t>(count));
        std::vector<std::wstring> tools = {KeyOf("latest.xml"), KeyOf("latest.xml.part")};
        for (int i = 0; i < count; ++i) {
            keys[i] = KeyOf(paths[i]);
            tools.push_back(KeyOf(std::string(paths[i]) + ".part"));
        }
        std::sort(tools.begin(), tools.end());
        std::vector<int> order(static_cast<size_t>(count));
        std::iota(order.begin(), order.end(), 0);
        // Items of one key stay in the job's order: all but the first come after an earlier one.
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a] < keys[b]; });
        for (int i = 0; i < count; ++i)
            names[i] = ItemName::kOwn;
        for (size_t at = 1; at < order.size(); ++at) {
            if (!keys[order[at]].empty() && keys[order[at]] == keys[order[at - 1]])
                names[order[at]] = ItemName::kAfterAnEarlier;
        }
        for (int i = 0; i < count; ++i) {
            if (Holds(tools, keys[i]))
                names[i] = ItemName::kTools;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
