// The user-interface test driver: starts a self-extracting file and drives its
// windows from outside, the way a user would, so that the end-to-end scenarios
// can check what the program shows and does.
//
// It reads one command per line on standard input and answers each with one
// line of JSON on standard output: {"ok":true,...} or {"ok":false,"error":...}.
// A command is words separated by blanks; a word that starts with a double
// quote is a JSON string (escapes \" \\ \/ \b \f \n \r \t \uXXXX), so any
// text travels intact. Texts in answers are UTF-8.
//
// Another process's windows are read with the W messages: across processes
// the text messages are converted to UTF-16 whatever the target uses, and the
// messages the system does not carry across (tree views) go through memory
// reserved in the target. Every wait has a time limit, and every message sent
// to the target is bounded too, so a hung program cannot hang the driver.
//
// Commands (ID: a control ID of the current window; SECONDS: a time limit,
// 10 when left out):
//   start [suspended] PROGRAM [ARGUMENT...]   resume   cd FOLDER
//   windows   count-windows        the program's visible top-level windows
//   wait-window CLASS|* CAPTION|* [SECONDS]   makes it the current window
//   wait-box [SECONDS]             a message box: caption, text, buttons
//   use WINDOW                     a window of an earlier answer becomes current
//   wait-gone [SECONDS]            the current window closes or hides
//   dump                           the current window and all its controls
//   click ID   check ID 0|1   set-text ID TEXT   type ID TEXT
//   select ID INDEX 0|1   key escape|enter|tab|space|up|down [ID]
//   tree-select ID TEXT...         a tree item by the texts of its path
//   answer-box ID                  clicks and waits until the box has gone
//   wait-exit [SECONDS]            the exit code and the windows that appeared meanwhile
//   kill   sleep SECONDS   quit
//   setenv NAME [VALUE]            an environment variable (none without VALUE)
//                                  for the programs started after it
// The controls a user cannot reach (hidden or disabled) are refused.
//
// Started as `ui_driver --mark FILE [ARGUMENT...]` it only writes its command
// line and current folder to FILE: a program of our own for an archive to run.
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Words = std::vector<std::wstring>;

constexpr DWORD SendLimitMs = 5000;      // one message sent to the program
constexpr DWORD PollMs = 20;             // between two looks at the screen
constexpr double DefaultWaitSeconds = 10;

// ---------------------------------------------------------------------------
// Text conversion

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size);
    return out;
}

// ---------------------------------------------------------------------------
// Answers: a small JSON writer

class Json {
public:
    Json& Open(char bracket)
    {
        Separate();
        text_ += bracket;
        first_.push_back(true);
        return *this;
    }
    Json& Close(char bracket)
    {
        text_ += bracket;
        first_.pop_back();
        return *this;
    }
    Json& Key(const char* name)
    {
        Separate();
        Quote(name);
        text_ += ':';
        pendingValue_ = true;
        return *this;
    }
    Json& Str(const std::wstring& value)
    {
        Separate();
        Quote(Utf8(value));
        return *this;
    }
    Json& Str(const char* value)
    {
        Separate();
        Quote(value);
        return *this;
    }
    Json& Num(long long value)
    {
        Separate();
        text_ += std::to_string(value);
        return *this;
    }
    Json& Bool(bool value)
    {
        Separate();
        text_ += value ? "true" : "false";
        return *this;
    }
    Json& Handle(HWND window)
    {
        char buffer[32];
        snprintf(buffer, sizeof buffer, "0x%llx",
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
        return Str(buffer);
    }
    const std::string& Text() const { return text_; }

private:
    void Separate()
    {
        if (pendingValue_) {
            pendingValue_ = false;
            return;
        }
        if (!first_.empty()) {
            if (!first_.back())
                text_ += ',';
            first_.back() = false;
        }
    }
    void Quote(const std::string& value)
    {
        text_ += '"';
        for (unsigned char c : value) {
            switch (c) {
            case '"': text_ += "\\\""; break;
            case '\\': text_ += "\\\\"; break;
            case '\n': text_ += "\\n"; break;
            case '\r': text_ += "\\r"; break;
            case '\t': text_ += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    snprintf(escape, sizeof escape, "\\u%04x", c);
                    text_ += escape;
                } else {
                    text_ += char(c);
                }
            }
        }
        text_ += '"';
    }

    std::string text_;
    std::vector<bool> first_;
    bool pendingValue_ = false;
};

// ---------------------------------------------------------------------------
// Standard input and output, unbuffered by us: the caller interleaves its own
// checks between commands, so every answer must leave at once.

HANDLE Input = nullptr;
HANDLE Output = nullptr;
std::string Pending;   // bytes read but not yet used as a line

bool ReadLine(std::string& line)
{
    for (;;) {
        size_t end = Pending.find('\n');
        if (end != std::string::npos) {
            line = Pending.substr(0, end);
            Pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(Input, buffer, sizeof buffer, &got, nullptr) || got == 0) {
            if (Pending.empty())
                return false;
            line.swap(Pending);
            Pending.clear();
            return true;
        }
        Pending.append(buffer, got);
    }
}

void WriteLine(const std::string& text)
{
    std::string line = text + "\n";
    DWORD written = 0;
    WriteFile(Output, line.data(), DWORD(line.size()), &written, nullptr);
    FlushFileBuffers(Output);
}

// A command's outcome: a failure message, or the fields of a successful answer.
struct Answer {
    Answer() { fields.Open('{'); }
    Json fields;   // the members of the answer beside "ok"
    std::wstring error;
    bool failed = false;
};

Answer Fail(const std::wstring& message)
{
    Answer answer;
    answer.failed = true;
    answer.error = message;
    return answer;
}

// ---------------------------------------------------------------------------
// Command words

bool SplitWords(const std::wstring& line, Words& words, std::wstring& problem)
{
    size_t i = 0;
    while (i < line.size()) {
        if (iswspace(line[i])) {
            ++i;
            continue;
        }
        std::wstring word;
        if (line[i] != L'"') {
            while (i < line.size() && !iswspace(line[i]))
                word += line[i++];
            words.push_back(word);
            continue;
        }
        ++i;
        bool closed = false;
        while (i < line.size()) {
            wchar_t c = line[i++];
            if (c == L'"') {
                closed = true;
                break;
            }
            if (c != L'\\') {
                word += c;
                continue;
            }
            if (i >= line.size())
                break;
            wchar_t e = line[i++];
            switch (e) {
            case L'n': word += L'\n'; break;
            case L'r': word += L'\r'; break;
            case L't': word += L'\t'; break;
            case L'b': word += L'\b'; break;
            case L'f': word += L'\f'; break;
            case L'u': {
                if (i + 4 > line.size()) {
                    problem = L"short \\u escape";
                    return false;
                }
                std::wstring hex = line.substr(i, 4);
                wchar_t* end = nullptr;
                unsigned long code = wcstoul(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4) {
                    problem = L"bad \\u escape";
                    return false;
                }
                word += wchar_t(code);
                i += 4;
                break;
            }
            default: word += e;   // \" \\ \/
            }
        }
        if (!closed) {
            problem = L"unterminated string";
            return false;
        }
        words.push_back(word);
    }
    return true;
}

bool ParseInt(const std::wstring& word, long long& value)
{
    if (word.empty())
        return false;
    wchar_t* end = nullptr;
    value = wcstoll(word.c_str(), &end, 0);
    return end == word.c_str() + word.size();
}

bool ParseSeconds(const std::wstring& word, double& seconds)
{
    wchar_t* end = nullptr;
    seconds = wcstod(word.c_str(), &end);
    return !word.empty() && end == word.c_str() + word.size() && seconds >= 0;
}

// Control IDs are 16-bit in dialog templates: -1 and 65535 name the same one.
bool ParseId(const std::wstring& word, int& id)
{
    long long value = 0;
    if (!ParseInt(word, value) || value < -1 || value > 0xFFFF)
        return false;
    id = int(value & 0xFFFF);
    return true;
}

// ---------------------------------------------------------------------------
// The program under test

PROCESS_INFORMATION Child = {};
bool ChildStarted = false;
HWND Current = nullptr;   // the window the commands address

bool ChildRunning()
{
    return ChildStarted && WaitForSingleObject(Child.hProcess, 0) == WAIT_TIMEOUT;
}

void ForgetChild()
{
    if (!ChildStarted)
        return;
    CloseHandle(Child.hThread);
    CloseHandle(Child.hProcess);
    Child = {};
    ChildStarted = false;
    Current = nullptr;
}

DWORD ChildExitCode()
{
    DWORD code = 0;
    GetExitCodeProcess(Child.hProcess, &code);
    return code;
}

class Deadline {
public:
    explicit Deadline(double seconds) : end_(GetTickCount64() + ULONGLONG(seconds * 1000)) {}
    bool Passed() const { return GetTickCount64() >= end_; }

private:
    ULONGLONG end_;
};

// ---------------------------------------------------------------------------
// Reading windows

std::wstring ClassOf(HWND window)
{
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return std::wstring(name, size_t(length > 0 ? length : 0));
}

bool SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    DWORD_PTR value = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SendLimitMs,
                             &value))
        return false;
    result = LRESULT(value);
    return true;
}

LRESULT SendOrZero(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    return SendBounded(window, message, wParam, lParam, result) ? result : 0;
}

std::wstring TextOf(HWND window)
{
    LRESULT length = SendOrZero(window, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return {};
    std::wstring text(size_t(length) + 1, L'\0');
    LRESULT got = SendOrZero(window, WM_GETTEXT, WPARAM(length + 1), LPARAM(text.data()));
    text.resize(size_t(got > 0 && got <= length ? got : 0));
    return text;
}

int IdOf(HWND window)
{
    return int(GetWindowLongPtrW(window, GWLP_ID) & 0xFFFF);
}

LONG StyleOf(HWND window)
{
    return LONG(GetWindowLongPtrW(window, GWL_STYLE));
}

bool IsCheckable(HWND control)
{
    switch (StyleOf(control) & BS_TYPEMASK) {
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        return true;
    default:
        return false;
    }
}

bool IsMultipleSelection(HWND list)
{
    return (StyleOf(list) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL)) != 0;
}

bool IsClass(HWND window, const wchar_t* name)
{
    return lstrcmpiW(ClassOf(window).c_str(), name) == 0;
}

void WriteRect(Json& json, HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    json.Key("rect").Open('[').Num(rect.left).Num(rect.top).Num(rect.right).Num(rect.bottom)
        .Close(']');
}

// The top-level windows the program shows (visible ones only).
std::vector<HWND> ChildWindows()
{
    struct Search {
        DWORD process;
        std::vector<HWND> found;
    } search{Child.dwProcessId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == s->process && IsWindowVisible(window))
                s->found.push_back(window);
            return TRUE;
        },
        LPARAM(&search));
    return ChildStarted ? search.found : std::vector<HWND>{};
}

// For error messages: " [CLASS "CAPTION"]" for each window shown, or " none".
std::wstring ShownWindows()
{
    std::wstring shown;
    for (HWND window : ChildWindows())
        shown += L" [" + ClassOf(window) + L" \"" + TextOf(window) + L"\"]";
    return shown.empty() ? L" none" : shown;
}

void WriteWindow(Json& json, HWND window)
{
    json.Key("window").Handle(window);
    json.Key("class").Str(ClassOf(window));
    json.Key("caption").Str(TextOf(window));
    WriteRect(json, window);
}

void WriteWindowList(Json& json, const std::vector<HWND>& windows)
{
    json.Key("count").Num(static_cast<long long>(windows.size()));
    json.Key("windows").Open('[');
    for (HWND window : windows) {
        json.Open('{');
        WriteWindow(json, window);
        json.Close('}');
    }
    json.Close(']');
}

// Every descendant of a window, in the order the system keeps them (for a
// dialog: the template's order).
std::vector<HWND> Descendants(HWND window)
{
    std::vector<HWND> found;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM context) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(context)->push_back(child);
            return TRUE;
        },
        LPARAM(&found));
    return found;
}

HWND FindControl(HWND window, int id)
{
    for (HWND child : Descendants(window))
        if (IdOf(child) == id)
            return child;
    return nullptr;
}

// A message box is a dialog of labels and answer buttons (IDOK to IDCONTINUE)
// whose text is the static 0xFFFF. The program's own dialogs have edits and
// lists, or buttons of other IDs.
bool IsMessageBox(HWND window)
{
    if (!IsClass(window, L"#32770"))
        return false;
    bool hasText = false;
    for (HWND child : Descendants(window)) {
        int id = IdOf(child);
        if (IsClass(child, L"Static"))
            hasText = hasText || id == 0xFFFF;
        else if (!IsClass(child, L"Button") || id < IDOK || id > IDCONTINUE)
            return false;
    }
    return hasText;
}

// ---------------------------------------------------------------------------
// Memory in the program under test, for the messages that carry pointers the
// system does not translate between processes.

class RemoteMemory {
public:
    RemoteMemory(HANDLE process, size_t size)
        : process_(process),
          base_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)),
          size_(size)
    {
    }
    ~RemoteMemory()
    {
        if (base_ != nullptr)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteMemory(const RemoteMemory&) = delete;
    RemoteMemory& operator=(const RemoteMemory&) = delete;

    bool Valid() const { return base_ != nullptr; }
    char* At(size_t offset) const { return static_cast<char*>(base_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const
    {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               WriteProcessMemory(process_, At(offset), data, size, &done) && done == size;
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        SIZE_T done = 0;
        return offset + size <= size_ &&
               ReadProcessMemory(process_, At(offset), data, size, &done) && done == size;
    }

private:
    HANDLE process_;
    void* base_;
    size_t size_;
};

struct TreeItem {
    HTREEITEM handle = nullptr;
    std::wstring text;
    UINT state = 0;
    int children = 0;
};

constexpr size_t TreeTextMax = 520;

bool ReadTreeItem(HWND tree, const RemoteMemory& memory, HTREEITEM handle, TreeItem& item)
{
    TVITEMW request = {};
    request.mask = TVIF_HANDLE | TVIF_TEXT | TVIF_STATE | TVIF_CHILDREN;
    request.hItem = handle;
    request.stateMask = UINT(-1);
    request.pszText = reinterpret_cast<LPWSTR>(memory.At(sizeof(TVITEMW)));
    request.cchTextMax = int(TreeTextMax);
    wchar_t empty = 0;
    LRESULT ok = 0;
    if (!memory.Write(0, &request, sizeof request) ||
        !memory.Write(sizeof(TVITEMW), &empty, sizeof empty) ||
        !SendBounded(tree, TVM_GETITEMW, 0, LPARAM(memory.At(0)), ok) || !ok)
        return false;
    TVITEMW answer = {};
    std::vector<wchar_t> text(TreeTextMax + 1, L'\0');
    if (!memory.Read(0, &answer, sizeof answer) ||
        !memory.Read(sizeof(TVITEMW), text.data(), TreeTextMax * sizeof(wchar_t)))
        return false;
    item.handle = handle;
    item.text = text.data();
    item.state = answer.state;
    item.children = answer.cChildren;
    return true;
}

HTREEITEM NextTreeItem(HWND tree, UINT relation, HTREEITEM from)
{
    return HTREEITEM(SendOrZero(tree, TVM_GETNEXTITEM, relation, LPARAM(from)));
}

// ---------------------------------------------------------------------------
// Commands

// The command's arguments after its name; the word count is checked by the table.
using Handler = Answer (*)(const Words& args);
// A command whose first argument is a control ID of the current window.
using ControlHandler = Answer (*)(HWND control, const Words& args);

Answer NeedChild()
{
    return Fail(L"no program started");
}

Answer NeedWindow()
{
    return Fail(L"no current window: wait for one first");
}

std::wstring QuoteArgument(const std::wstring& word)
{
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos)
        return word;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            out.append(backslashes * 2 + 1, L'\\');
        else
            out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// start [suspended] PROGRAM [ARGUMENT...]
Answer Start(const Words& args)
{
    // A program left running by a failed scenario must not spoil the next one.
    bool leftOver = ChildRunning();
    if (leftOver)
        TerminateProcess(Child.hProcess, 1);
    ForgetChild();
    size_t first = 0;
    DWORD flags = 0;
    if (args.size() > 1 && args[0] == L"suspended") {
        flags |= CREATE_SUSPENDED;
        first = 1;
    }
    std::wstring commandLine;
    for (size_t i = first; i < args.size(); ++i)
        commandLine += (i > first ? L" " : L"") + QuoteArgument(args[i]);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessW(args[first].c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags,
                        nullptr, nullptr, &startup, &Child))
        return Fail(L"cannot start the program (error " + std::to_wstring(GetLastError()) + L")");
    ChildStarted = true;
    Answer answer;
    answer.fields.Key("pid").Num(Child.dwProcessId);
    if (leftOver)
        answer.fields.Key("ended").Str("the previous program, still running");
    return answer;
}

Answer Resume(const Words&)
{
    if (!ChildStarted)
        return NeedChild();
    if (ResumeThread(Child.hThread) == DWORD(-1))
        return Fail(L"cannot resume the program");
    return {};
}

Answer ChangeDirectory(const Words& args)
{
    if (!SetCurrentDirectoryW(args[0].c_str()))
        return Fail(L"cannot change to " + args[0]);
    return {};
}

Answer Windows(const Words&)
{
    Answer answer;
    WriteWindowList(answer.fields, ChildWindows());
    return answer;
}

Answer CountWindows(const Words&)
{
    Answer answer;
    answer.fields.Key("count").Num(static_cast<long long>(ChildWindows().size()));
    return answer;
}

bool Matches(const std::wstring& pattern, const std::wstring& value)
{
    return pattern == L"*" || pattern == value;
}

using WindowTest = bool (*)(HWND window, const Words& args);

// Waits until the program shows a top-level window that passes the test, and
// makes it the current window.
Answer WaitFor(WindowTest test, const Words& args, double seconds, const std::wstring& what)
{
    if (!ChildStarted)
        return NeedChild();
    Deadline deadline(seconds);
    for (;;) {
        for (HWND window : ChildWindows()) {
            if (test(window, args)) {
                Current = window;
                Answer answer;
                WriteWindow(answer.fields, window);
                return answer;
            }
        }
        if (!ChildRunning())
            return Fail(L"the program ended (exit code " + std::to_wstring(ChildExitCode()) +
                        L") while waiting for " + what);
        if (deadline.Passed())
            return Fail(L"timed out waiting for " + what + L"; windows shown:" + ShownWindows());
        Sleep(PollMs);
    }
}

bool OptionalSeconds(const Words& args, size_t index, double& seconds)
{
    seconds = DefaultWaitSeconds;
    return args.size() <= index || ParseSeconds(args[index], seconds);
}

// wait-window CLASS|* CAPTION|* [SECONDS]
Answer WaitWindow(const Words& args)
{
    double seconds = 0;
    if (!OptionalSeconds(args, 2, seconds))
        return Fail(L"bad time limit");
    return WaitFor(
        [](HWND window, const Words& a) {
            return Matches(a[0], ClassOf(window)) && Matches(a[1], TextOf(window));
        },
        args, seconds, L"window " + args[0] + L" \"" + args[1] + L"\"");
}

void WriteButtons(Json& json, HWND window)
{
    json.Key("buttons").Open('[');
    for (HWND child : Descendants(window)) {
        if (!IsClass(child, L"Button") || !IsWindowVisible(child))
            continue;
        json.Open('{').Key("id").Num(IdOf(child)).Key("text").Str(TextOf(child)).Close('}');
    }
    json.Close(']');
}

// wait-box [SECONDS]: a message box; answers its caption, text and buttons.
Answer WaitBox(const Words& args)
{
    double seconds = 0;
    if (!OptionalSeconds(args, 0, seconds))
        return Fail(L"bad time limit");
    Answer answer = WaitFor([](HWND window, const Words&) { return IsMessageBox(window); }, args,
                            seconds, L"a message box");
    if (!answer.failed) {
        answer.fields.Key("text").Str(TextOf(FindControl(Current, 0xFFFF)));
        WriteButtons(answer.fields, Current);
    }
    return answer;
}

// wait-gone [SECONDS]: until the current window is closed or hidden.
Answer WaitGone(const Words& args)
{
    if (Current == nullptr)
        return NeedWindow();
    double seconds = 0;
    if (!OptionalSeconds(args, 0, seconds))
        return Fail(L"bad time limit");
    Deadline deadline(seconds);
    while (IsWindow(Current) && IsWindowVisible(Current)) {
        if (deadline.Passed())
            return Fail(L"timed out waiting for the window to close");
        Sleep(PollMs);
    }
    Current = nullptr;
    return {};
}

void WriteListItems(Json& json, HWND list)
{
    LRESULT count = SendOrZero(list, LB_GETCOUNT, 0, 0);
    bool multiple = IsMultipleSelection(list);
    LRESULT single = multiple ? LB_ERR : SendOrZero(list, LB_GETCURSEL, 0, 0);
    json.Key("multiple").Bool(multiple);
    json.Key("items").Open('[');
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendOrZero(list, LB_GETTEXTLEN, WPARAM(i), 0);
        std::wstring text(size_t(length > 0 ? length : 0) + 1, L'\0');
        LRESULT got = SendOrZero(list, LB_GETTEXT, WPARAM(i), LPARAM(text.data()));
        text.resize(size_t(got > 0 && got <= length ? got : 0));
        bool selected = multiple ? SendOrZero(list, LB_GETSEL, WPARAM(i), 0) > 0 : i == single;
        json.Open('{').Key("text").Str(text).Key("selected").Bool(selected).Close('}');
    }
    json.Close(']');
}

void WriteTree(Json& json, HWND tree);

void WriteControl(Json& json, HWND window, HWND control)
{
    std::wstring kind = ClassOf(control);
    LONG style = StyleOf(control);
    char styleText[16];
    snprintf(styleText, sizeof styleText, "0x%08lx", static_cast<unsigned long>(style));
    json.Open('{');
    json.Key("id").Num(IdOf(control));
    json.Key("class").Str(kind);
    json.Key("text").Str(TextOf(control));
    json.Key("style").Str(styleText);
    json.Key("visible").Bool((style & WS_VISIBLE) != 0);
    json.Key("enabled").Bool(IsWindowEnabled(control) != FALSE);
    HWND parent = GetParent(control);
    if (parent != window)
        json.Key("parent").Num(IdOf(parent));
    WriteRect(json, control);
    if (lstrcmpiW(kind.c_str(), L"Button") == 0 && IsCheckable(control))
        json.Key("checked").Num(SendOrZero(control, BM_GETCHECK, 0, 0));
    else if (lstrcmpiW(kind.c_str(), L"ListBox") == 0)
        WriteListItems(json, control);
    else if (lstrcmpiW(kind.c_str(), WC_TREEVIEWW) == 0)
        WriteTree(json, control);
    json.Close('}');
}

// dump: the current window and each of its controls.
Answer Dump(const Words&)
{
    if (Current == nullptr || !IsWindow(Current))
        return NeedWindow();
    Answer answer;
    WriteWindow(answer.fields, Current);
    HWND focus = nullptr;
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(Current, nullptr), &gui))
        focus = gui.hwndFocus;
    answer.fields.Key("focus").Num(focus != nullptr ? IdOf(focus) : -1);
    answer.fields.Key("controls").Open('[');
    for (HWND control : Descendants(Current))
        WriteControl(answer.fields, Current, control);
    answer.fields.Close(']');
    return answer;
}

// The control a command names by its ID, in the current window.
HWND ResolveControl(const std::wstring& word, std::wstring& problem)
{
    int id = 0;
    if (Current == nullptr || !IsWindow(Current)) {
        problem = L"no current window: wait for one first";
        return nullptr;
    }
    if (!ParseId(word, id)) {
        problem = L"bad control ID " + word;
        return nullptr;
    }
    HWND control = FindControl(Current, id);
    if (control == nullptr)
        problem = L"no control " + word + L" in the current window";
    return control;
}

// A dialog learns of a user's action through WM_COMMAND from the control;
// posting it is what a click amounts to, and it works without a window manager.
void Notify(HWND control, WORD code)
{
    PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(IdOf(control), code),
                 LPARAM(control));
}

// click ID
Answer Click(HWND control, const Words&)
{
    Notify(control, BN_CLICKED);
    return {};
}

// answer-box ID: clicks a button of the current message box and waits until
// the box has gone.
Answer AnswerBox(HWND button, const Words& args)
{
    if (!IsMessageBox(Current))
        return Fail(L"the current window is not a message box");
    Click(button, args);
    return WaitGone(Words{});
}

// check ID 0|1: what a click does to an automatic check box or radio button.
Answer Check(HWND control, const Words& args)
{
    long long state = 0;
    if (!ParseInt(args[1], state) || state < 0 || state > 2)
        return Fail(L"bad check state " + args[1]);
    if (!IsCheckable(control))
        return Fail(L"control " + args[0] + L" is not a check box or radio button");
    if ((StyleOf(control) & BS_TYPEMASK) == BS_AUTORADIOBUTTON && state == 1) {
        // The other radio buttons of its group go off, as they do on a click.
        HWND first = control;
        while (!(StyleOf(first) & WS_GROUP)) {
            HWND previous = GetWindow(first, GW_HWNDPREV);
            if (previous == nullptr)
                break;
            first = previous;
        }
        for (HWND other = first; other != nullptr; other = GetWindow(other, GW_HWNDNEXT)) {
            if (other != first && (StyleOf(other) & WS_GROUP))
                break;
            if (other != control && (StyleOf(other) & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                SendOrZero(other, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    SendOrZero(control, BM_SETCHECK, WPARAM(state), 0);
    Notify(control, BN_CLICKED);
    return {};
}

// set-text ID TEXT
Answer SetText(HWND control, const Words& args)
{
    LRESULT ok = 0;
    if (!SendBounded(control, WM_SETTEXT, 0, LPARAM(args[1].c_str()), ok) || !ok)
        return Fail(L"cannot set the text of control " + args[0]);
    return {};
}

// type ID TEXT: one character message per character, as the keyboard sends.
Answer Type(HWND control, const Words& args)
{
    for (wchar_t c : args[1]) {
        LRESULT ignored = 0;
        if (!SendBounded(control, WM_CHAR, WPARAM(c), 1, ignored))
            return Fail(L"control " + args[0] + L" does not answer");
    }
    return {};
}

// select ID INDEX 0|1: selects or deselects one entry of a list box.
Answer Select(HWND list, const Words& args)
{
    long long index = 0;
    long long state = 0;
    if (!ParseInt(args[1], index) || !ParseInt(args[2], state) || state < 0 || state > 1)
        return Fail(L"bad index or state");
    if (!IsClass(list, L"ListBox"))
        return Fail(L"control " + args[0] + L" is not a list box");
    LRESULT result = 0;
    bool sent = IsMultipleSelection(list)
                    ? SendBounded(list, LB_SETSEL, WPARAM(state), LPARAM(index), result)
                    : SendBounded(list, LB_SETCURSEL, WPARAM(state ? index : -1), 0, result);
    if (!sent || (result == LB_ERR && (state || IsMultipleSelection(list))))
        return Fail(L"cannot select entry " + args[1]);
    if (StyleOf(list) & LBS_NOTIFY)
        Notify(list, LBN_SELCHANGE);
    return {};
}

struct KeyName {
    const wchar_t* name;
    WORD key;
};

constexpr KeyName Keys[] = {
    {L"escape", VK_ESCAPE}, {L"enter", VK_RETURN}, {L"tab", VK_TAB},
    {L"space", VK_SPACE},   {L"up", VK_UP},        {L"down", VK_DOWN},
};

// key NAME [ID]: a key press for the control ID, or else for the control of the
// current window that has the keyboard focus (the window itself when none
// has); the program's dialog manager sees it as typed.
Answer Key(const Words& args)
{
    if (!ChildStarted)
        return NeedChild();
    WORD key = 0;
    for (const KeyName& k : Keys)
        if (args[0] == k.name)
            key = k.key;
    if (key == 0)
        return Fail(L"unknown key " + args[0]);
    HWND target = nullptr;
    if (args.size() > 1) {
        std::wstring problem;
        target = ResolveControl(args[1], problem);
        if (target == nullptr)
            return Fail(problem);
    } else {
        if (Current == nullptr || !IsWindow(Current))
            return NeedWindow();
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        target = Current;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(Current, nullptr), &gui) &&
            gui.hwndFocus != nullptr && IsChild(Current, gui.hwndFocus))
            target = gui.hwndFocus;
    }
    LPARAM scan = LPARAM(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, 1 | scan);
    PostMessageW(target, WM_KEYUP, key, 1 | scan | (LPARAM(3) << 30));
    return {};
}

void WriteTreeLevel(Json& json, HWND tree, const RemoteMemory& memory, HTREEITEM first,
                    int depth)
{
    for (HTREEITEM handle = first; handle != nullptr;
         handle = NextTreeItem(tree, TVGN_NEXT, handle)) {
        TreeItem item;
        if (!ReadTreeItem(tree, memory, handle, item))
            return;
        json.Open('{').Key("text").Str(item.text).Key("depth").Num(depth);
        json.Key("selected").Bool((item.state & TVIS_SELECTED) != 0);
        json.Key("expanded").Bool((item.state & TVIS_EXPANDED) != 0);
        json.Key("children").Num(item.children).Close('}');
        if (item.state & TVIS_EXPANDED)
            WriteTreeLevel(json, tree, memory, NextTreeItem(tree, TVGN_CHILD, handle),
                           depth + 1);
    }
}

// The expanded part of a tree view, in display order.
void WriteTree(Json& json, HWND tree)
{
    json.Key("items").Open('[');
    RemoteMemory memory(Child.hProcess, sizeof(TVITEMW) + (TreeTextMax + 1) * sizeof(wchar_t));
    if (memory.Valid())
        WriteTreeLevel(json, tree, memory, NextTreeItem(tree, TVGN_ROOT, nullptr), 0);
    json.Close(']');
}

// tree-select ID TEXT...: follows the path of item texts from the tree's
// roots, expanding each step (which lets the owner fill it), and selects the
// last item as a click would.
Answer TreeSelect(HWND tree, const Words& args)
{
    if (!IsClass(tree, WC_TREEVIEWW))
        return Fail(L"control " + args[0] + L" is not a tree view");
    RemoteMemory memory(Child.hProcess, sizeof(TVITEMW) + (TreeTextMax + 1) * sizeof(wchar_t));
    if (!memory.Valid())
        return Fail(L"cannot reserve memory in the program");
    HTREEITEM level = NextTreeItem(tree, TVGN_ROOT, nullptr);
    HTREEITEM found = nullptr;
    for (size_t step = 1; step < args.size(); ++step) {
        if (found != nullptr) {
            SendOrZero(tree, TVM_EXPAND, TVE_EXPAND, LPARAM(found));
            level = NextTreeItem(tree, TVGN_CHILD, found);
        }
        found = nullptr;
        for (HTREEITEM handle = level; handle != nullptr && found == nullptr;
             handle = NextTreeItem(tree, TVGN_NEXT, handle)) {
            TreeItem item;
            if (ReadTreeItem(tree, memory, handle, item) && item.text == args[step])
                found = handle;
        }
        if (found == nullptr)
            return Fail(L"no tree item \"" + args[step] + L"\" at level " +
                        std::to_wstring(step));
    }
    if (!SendOrZero(tree, TVM_SELECTITEM, TVGN_CARET, LPARAM(found)))
        return Fail(L"cannot select the tree item");
    SendOrZero(tree, TVM_ENSUREVISIBLE, 0, LPARAM(found));
    return {};
}

// wait-exit [SECONDS]: the program's exit code, and every top-level window that
// appeared while waiting (one that flashes by is caught too).
Answer WaitExit(const Words& args)
{
    if (!ChildStarted)
        return NeedChild();
    double seconds = 0;
    if (!OptionalSeconds(args, 0, seconds))
        return Fail(L"bad time limit");
    Deadline deadline(seconds);
    std::vector<HWND> known = ChildWindows();   // those shown already are no news
    std::vector<std::wstring> seenText;
    for (;;) {
        for (HWND window : ChildWindows()) {
            bool old = false;
            for (HWND k : known)
                old = old || k == window;
            std::wstring kind = ClassOf(window);
            if (!old && !kind.empty()) {   // empty: destroyed meanwhile
                known.push_back(window);
                seenText.push_back(kind + L" \"" + TextOf(window) + L"\"");
            }
        }
        if (WaitForSingleObject(Child.hProcess, PollMs) != WAIT_TIMEOUT)
            break;
        if (deadline.Passed())
            return Fail(L"timed out waiting for the program to end; windows shown:" +
                        ShownWindows());
    }
    Answer answer;
    answer.fields.Key("exit").Num(ChildExitCode());
    answer.fields.Key("seen").Open('[');
    for (const std::wstring& s : seenText)
        answer.fields.Str(s);
    answer.fields.Close(']');
    ForgetChild();
    return answer;
}

// use WINDOW: the handle as an earlier answer gave it.
Answer Use(const Words& args)
{
    long long value = 0;
    if (!ParseInt(args[0], value))
        return Fail(L"bad window " + args[0]);
    HWND window = reinterpret_cast<HWND>(static_cast<intptr_t>(value));
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!ChildStarted || !IsWindow(window) || process != Child.dwProcessId)
        return Fail(L"window " + args[0] + L" is not one of the program's");
    Current = window;
    Answer answer;
    WriteWindow(answer.fields, window);
    return answer;
}

Answer Kill(const Words&)
{
    if (!ChildStarted)
        return NeedChild();
    if (ChildRunning()) {
        TerminateProcess(Child.hProcess, 1);
        WaitForSingleObject(Child.hProcess, SendLimitMs);
    }
    ForgetChild();
    return {};
}

Answer Pause(const Words& args)
{
    double seconds = 0;
    if (!ParseSeconds(args[0], seconds) || seconds > 60)
        return Fail(L"bad time");
    Sleep(DWORD(seconds * 1000));
    return {};
}

// setenv NAME [VALUE]: wine hands the environment block on to the processes it
// starts, WINEDEBUG included, so one program can be traced alone.
Answer SetEnvironment(const Words& args)
{
    if (!SetEnvironmentVariableW(args[0].c_str(), args.size() > 1 ? args[1].c_str() : nullptr) &&
        args.size() > 1)
        return Fail(L"cannot set " + args[0]);
    return {};
}

struct Command {
    const wchar_t* name;
    size_t leastArgs;
    size_t mostArgs;
    Handler run = nullptr;
    ControlHandler runOnControl = nullptr;
};

constexpr size_t Any = size_t(-1);

constexpr Command Commands[] = {
    {L"start", 1, Any, Start},
    {L"resume", 0, 0, Resume},
    {L"cd", 1, 1, ChangeDirectory},
    {L"windows", 0, 0, Windows},
    {L"count-windows", 0, 0, CountWindows},
    {L"wait-window", 2, 3, WaitWindow},
    {L"wait-box", 0, 1, WaitBox},
    {L"wait-gone", 0, 1, WaitGone},
    {L"use", 1, 1, Use},
    {L"dump", 0, 0, Dump},
    {L"click", 1, 1, nullptr, Click},
    {L"answer-box", 1, 1, nullptr, AnswerBox},
    {L"check", 2, 2, nullptr, Check},
    {L"set-text", 2, 2, nullptr, SetText},
    {L"type", 2, 2, nullptr, Type},
    {L"select", 3, 3, nullptr, Select},
    {L"key", 1, 2, Key},
    {L"tree-select", 2, Any, nullptr, TreeSelect},
    {L"wait-exit", 0, 1, WaitExit},
    {L"kill", 0, 0, Kill},
    {L"sleep", 1, 1, Pause},
    {L"setenv", 1, 2, SetEnvironment},
};

Answer Run(const Words& words)
{
    for (const Command& command : Commands) {
        if (words[0] != command.name)
            continue;
        Words args(words.begin() + 1, words.end());
        if (args.size() < command.leastArgs || args.size() > command.mostArgs)
            return Fail(L"wrong number of arguments for " + words[0]);
        if (command.run != nullptr)
            return command.run(args);
        std::wstring problem;
        HWND control = ResolveControl(args[0], problem);
        if (control == nullptr)
            return Fail(problem);
        // What a user cannot reach, the driver does not touch either.
        if (!IsWindowVisible(control) || !IsWindowEnabled(control))
            return Fail(L"control " + args[0] + L" is " +
                        (IsWindowVisible(control) ? L"disabled" : L"hidden"));
        return command.runOnControl(control, args);
    }
    return Fail(L"unknown command " + words[0]);
}

void Reply(const Answer& answer)
{
    if (answer.failed) {
        Json json;
        json.Open('{').Key("ok").Bool(false).Key("error").Str(answer.error).Close('}');
        WriteLine(json.Text());
        return;
    }
    const std::string& fields = answer.fields.Text();   // "{" and the members, unclosed
    WriteLine(fields.size() > 1 ? "{\"ok\":true," + fields.substr(1) + "}" : "{\"ok\":true}");
}

}   // namespace

// --mark FILE: the command line and the current folder, one a line, in UTF-8.
int Mark(const wchar_t* file)
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::string text = Utf8(GetCommandLineW()) + "\n" + Utf8(folder) + "\n";
    HANDLE out = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    bool ok = WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr) &&
              written == text.size();
    return CloseHandle(out) && ok ? 0 : 1;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && lstrcmpW(argv[1], L"--mark") == 0)
        return Mark(argv[2]);
    Input = GetStdHandle(STD_INPUT_HANDLE);
    Output = GetStdHandle(STD_OUTPUT_HANDLE);
    std::string line;
    while (ReadLine(line)) {
        Words words;
        std::wstring problem;
        if (!SplitWords(Wide(line), words, problem)) {
            Reply(Fail(problem));
            continue;
        }
        if (words.empty())
            continue;
        if (words[0] == L"quit")
            break;
        Reply(Run(words));
    }
    // Never leave the program behind: nobody would be there to close it.
    if (ChildRunning())
        TerminateProcess(Child.hProcess, 1);
    WriteLine("{\"ok\":true,\"bye\":true}");
    return 0;
}
