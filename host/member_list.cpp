#include "member_list.h"

#include <algorithm>

#include "platform.h"

namespace {

char Fold(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

int CompareNoCase(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++) {
        unsigned char x = Fold(a[i]), y = Fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

HostList& List(WindowRef list)
{
    return *static_cast<HostList*>(list);
}

bool Valid(const HostList& list, int index)
{
    return index >= 0 && size_t(index) < list.names.size();
}

}  // namespace

void HostSelectAll(HostList& list)
{
    std::fill(list.selected.begin(), list.selected.end(), true);
}

std::vector<std::string> HostSelectedInAddedOrder(const HostList& list)
{
    // Equal names are matched up in list order, as the engine's search does.
    std::vector<bool> used(list.names.size(), false);
    std::vector<std::string> result;
    for (const std::string& name : list.added) {
        for (size_t i = 0; i < list.names.size(); i++) {
            if (!used[i] && list.names[i] == name) {
                used[i] = true;
                if (list.selected[i])
                    result.push_back(name);
                break;
            }
        }
    }
    return result;
}

WindowRef PlatGetControl(WindowRef dialog, int id)
{
    HostDialog* d = static_cast<HostDialog*>(dialog);
    if (d == nullptr)
        return nullptr;
    if (id == 301)
        return &d->members;
    if (id == 302)
        return &d->displayMembers;
    return nullptr;
}

void PlatListReset(WindowRef list)
{
    List(list) = HostList();
}

void PlatListAdd(WindowRef list, const char* name)
{
    HostList& l = List(list);
    size_t at = 0;
    while (at < l.names.size() && CompareNoCase(l.names[at], name) <= 0)
        at++;
    l.names.insert(l.names.begin() + long(at), name);
    l.selected.insert(l.selected.begin() + long(at), false);
    l.added.push_back(name);
}

int PlatListCount(WindowRef list)
{
    return int(List(list).names.size());
}

int PlatListFindExact(WindowRef list, int startAfter, const char* name)
{
    // The search starts after `startAfter`, wraps around from the top and
    // ends at `startAfter` itself; -1 (or any index out of range) searches
    // the whole list from the top.
    const HostList& l = List(list);
    int count = int(l.names.size());
    if (!Valid(l, startAfter))
        startAfter = -1;
    for (int i = 1; i <= count; i++) {
        int index = (startAfter + i) % count;
        if (CompareNoCase(l.names[size_t(index)], name) == 0)
            return index;
    }
    return -1;
}

int PlatListIsSelected(WindowRef list, int index)
{
    const HostList& l = List(list);
    if (!Valid(l, index))
        return -1;
    return l.selected[size_t(index)] ? 1 : 0;
}

void PlatListDeselect(WindowRef list, int index)
{
    HostList& l = List(list);
    if (index == -1)
        std::fill(l.selected.begin(), l.selected.end(), false);
    else if (Valid(l, index))
        l.selected[size_t(index)] = false;
}

int PlatListSelectedCount(WindowRef list)
{
    const HostList& l = List(list);
    return int(std::count(l.selected.begin(), l.selected.end(), true));
}
