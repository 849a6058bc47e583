// An in-memory stand-in for the main dialog's member lists: a sorted list
// with multiple selection that answers the engine's seven list operations the
// way the platform's list box does.
#pragma once

#include <string>
#include <vector>

struct HostList {
    std::vector<std::string> names;      // in list order (sorted, letter case ignored)
    std::vector<bool> selected;
    std::vector<std::string> added;      // in the order they were added
};

// The lists 301 and 302 of a main dialog.
struct HostDialog {
    HostList members;          // 301
    HostList displayMembers;   // 302
};

void HostSelectAll(HostList& list);
// The names still selected, in the order they were added.
std::vector<std::string> HostSelectedInAddedOrder(const HostList& list);
