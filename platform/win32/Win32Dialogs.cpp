#include "platform/win32/Win32Dialogs.h"

#include <vector>

#include "platform/win32/Win32Api.h"
#include "platform/win32/Win32Text.h"

namespace talvex::platform::win32 {

namespace {

constexpr WORD kPromptId = 100;
constexpr WORD kTextId = 101;

/// A dialog template built in memory, in dialog units.
class DialogTemplate {
  public:
    DialogTemplate(const std::wstring& title, short width, short height) {
        Align();
        const DWORD style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | DS_SETFOREGROUND | WS_POPUP |
                            WS_CAPTION | WS_SYSMENU;
        Dword(style);
        Dword(0);  // extended style
        m_countAt = m_words.size();
        m_words.push_back(0);  // item count, filled in by Item()
        for (const short value : {short{0}, short{0}, width, height})
            m_words.push_back(static_cast<WORD>(value));
        m_words.push_back(0);  // no menu
        m_words.push_back(0);  // the standard dialog class
        Text(title);
        m_words.push_back(8);  // points
        Text(L"MS Shell Dlg");
    }

    void Item(WORD id, DWORD style, short x, short y, short width, short height, WORD atom,
              const std::wstring& text, DWORD exStyle = 0) {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(exStyle);
        for (const short value : {x, y, width, height}) m_words.push_back(static_cast<WORD>(value));
        m_words.push_back(id);
        m_words.push_back(0xFFFF);  // a predefined class, by atom
        m_words.push_back(atom);
        Text(text);
        m_words.push_back(0);  // no creation data
        ++m_words[m_countAt];
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }

  private:
    void Align() {
        if (m_words.size() % 2) m_words.push_back(0);
    }
    void Dword(DWORD value) {
        m_words.push_back(LOWORD(value));
        m_words.push_back(HIWORD(value));
    }
    void Text(const std::wstring& text) {
        m_words.insert(m_words.end(), text.begin(), text.end());
        m_words.push_back(0);
    }

    // DWORD-aligned storage: the vector's buffer is aligned for new[] of WORD, which
    // the allocator gives at least 8 bytes.
    std::vector<WORD> m_words;
    std::size_t m_countAt = 0;
};

struct InputState {
    std::wstring prompt;
    std::wstring text;
};

INT_PTR CALLBACK InputProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<InputState*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetDlgItemTextW(dialog, kPromptId, state->prompt.c_str());
            SetDlgItemTextW(dialog, kTextId, state->text.c_str());
            SendDlgItemMessageW(dialog, kTextId, EM_SETSEL, 0, -1);
            SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            SetFocus(GetDlgItem(dialog, kTextId));
            return FALSE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && state) {
                HWND field = GetDlgItem(dialog, kTextId);
                std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
                text.resize(static_cast<std::size_t>(
                    GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
                state->text = text;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

MsgBoxResult ShowMessageBox(const std::string& text, std::int32_t style, const std::string& title) {
    const bool yesNo = (style & 7) == vbYesNo;
    UINT flags = (yesNo ? MB_YESNO : MB_OK) | MB_TOPMOST | MB_SETFOREGROUND;
    switch (style & 0x70) {
        case vbCritical:
            flags |= MB_ICONERROR;
            break;
        case vbQuestion:
            flags |= MB_ICONQUESTION;
            break;
        case vbExclamation:
            flags |= MB_ICONWARNING;
            break;
        case vbInformation:
            flags |= MB_ICONINFORMATION;
            break;
        default:
            break;
    }
    const int answer = MessageBoxW(nullptr, Widen(text).c_str(),
                                   Widen(title.empty() ? "Talvex" : title).c_str(), flags);
    if (answer == IDYES) return vbYes;
    if (answer == IDNO) return vbNo;
    return yesNo ? vbNo : vbOK;
}

std::string ShowInputBox(const std::string& prompt, const std::string& title,
                         const std::string& defaultText, const std::string& ok,
                         const std::string& cancel) {
    // The classic layout: the prompt at the top left, OK and Cancel at the right, the
    // text field along the bottom.
    DialogTemplate dialog(Widen(title.empty() ? "Talvex" : title), 240, 92);
    dialog.Item(kPromptId, SS_LEFT | SS_NOPREFIX, 7, 7, 170, 56, 0x0082, L"");
    dialog.Item(IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 183, 7, 50, 14, 0x0080, Widen(ok));
    dialog.Item(IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 183, 25, 50, 14, 0x0080, Widen(cancel));
    dialog.Item(kTextId, ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER | WS_GROUP, 7, 70, 226, 13, 0x0081,
                L"");
    InputState state{Widen(prompt), Widen(defaultText)};
    const INT_PTR answer = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.Get(), nullptr,
                                                   &InputProc, reinterpret_cast<LPARAM>(&state));
    return answer == IDOK ? Narrow(state.text) : std::string();
}

}  // namespace talvex::platform::win32
