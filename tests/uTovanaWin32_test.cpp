// The native window under Wine, driven through its messages as clicks and keys would arrive.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <random>

#include "TovanaVersion.h"
#include "rename/Platform.h"
#include "rename/WideText.h"
#include "settings/RegistrySettingsStore.h"
#include "support/TempTree.h"
#include "ui/win32/resource.h"
#include "ui/win32/uTovanaWin32.h"

namespace {

struct Shown {
    std::wstring title;
    std::wstring text;
    UINT flags;
};

void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

std::wstring TextOf(HWND window) {
    wchar_t text[512];
    ::GetWindowTextW(window, text, 512);
    return text;
}

// Writes what the window shows into a 24-bit bitmap file, for people to look at.
void SavePicture(HWND window, const std::string& linuxPath) {
    // Where the whole window is on the screen.
    ::SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    RECT r{};
    ::GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::SetForegroundWindow(window);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    ::Sleep(300);
    Pump();
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);
    const DWORD imageSize = static_cast<DWORD>((width * 3 + 3) / 4 * 4 * height);
    BITMAPFILEHEADER file{0x4D42,
                          DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) + imageSize, 0,
                          0, DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))};
    const std::wstring path = tovana::WideFromUtf8("Z:" + linuxPath);
    const HANDLE out =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(out, &file, sizeof file, &written, nullptr);
    ::WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
    ::WriteFile(out, bits, imageSize, &written, nullptr);
    ::CloseHandle(out);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

class Win32Window : public testing::Test {
  protected:
    Win32Window()
        : keyPath_(L"Software\\Korvel\\TovanaWindowTest" + std::to_wstring(std::random_device()())),
          settings(keyPath_) {
        application = ::CreateWindowExW(0, L"STATIC", L"Tovana", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, nullptr, nullptr);
    }
    ~Win32Window() override {
        form.reset();
        ::DestroyWindow(application);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, keyPath_.c_str());
        Pump();
    }

    TfTovana& Open() {
        TovanaServices services;
        services.fileSystem = fileSystem.get();
        services.settings = &settings;
        services.selectFolder = [this](HWND, std::wstring& folder) {
            pickerStartedWith = folder;
            if (pickerAnswer.empty()) {
                return false;
            }
            folder = pickerAnswer;
            return true;
        };
        services.showMessage = [this](HWND, const std::wstring& title, const std::wstring& text,
                                      UINT flags) {
            shown.push_back({title, text, flags});
        };
        services.openAddress = [this](const std::wstring& address) { opened.push_back(address); };
        form = std::make_unique<TfTovana>(::GetModuleHandleW(nullptr), application, services);
        ::ShowWindow(form->hwnd(), SW_SHOWNORMAL);
        Pump();
        return *form;
    }

    HWND Item(int id) { return ::GetDlgItem(form->hwnd(), id); }
    void Click(int id) {
        ::SendMessageW(Item(id), BM_CLICK, 0, 0);
        Pump();
    }
    bool Checked(int id) { return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(int id) { return ::IsWindowEnabled(Item(id)) != 0; }
    void SetText(int id, const std::wstring& text) {
        ::SetWindowTextW(Item(id), text.c_str());
        Pump();
    }

    std::wstring keyPath_;
    tovana::RegistrySettingsStore settings;
    std::unique_ptr<tovana::FileSystem> fileSystem = tovana::MakeFileSystem();
    HWND application = nullptr;
    std::unique_ptr<TfTovana> form;
    std::vector<Shown> shown;
    std::vector<std::wstring> opened;
    std::wstring pickerStartedWith;
    std::wstring pickerAnswer;
};

TEST_F(Win32Window, ControlsStandWhereDesignedWithTheirCaptions) {
    TfTovana& w = Open();
    EXPECT_EQ(TextOf(w.hwnd()), L"Tovana  1.2.0 (18)");
    RECT client{};
    ::GetClientRect(w.hwnd(), &client);
    const auto scaled = [&w](int value) { return static_cast<int>(value * w.scale() + 0.5); };
    EXPECT_EQ(client.right, scaled(393));
    EXPECT_EQ(client.bottom, scaled(441));
    for (int i = 0; i < kControlPlaceCount; ++i) {
        const ControlPlace& place = kControlPlaces[i];
        if (place.id == IDC_LAUTHOR || place.id == IDC_LWEB || place.id == IDC_LBMESSAGE) {
            continue;  // links take their text's width; the list keeps to whole rows
        }
        const bool label = place.id == IDC_LABEL1 || place.id == IDC_LABEL2 ||
                           place.id == IDC_LABEL3 || place.id == IDC_LABEL4 ||
                           place.id == IDC_LABEL5;
        RECT r{};
        ::GetWindowRect(Item(place.id), &r);
        ::MapWindowPoints(nullptr, w.hwnd(), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, scaled(place.x)) << place.id;
        EXPECT_EQ(r.top, scaled(place.y)) << place.id;
        if (label) {
            EXPECT_GE(r.right - r.left, scaled(place.width)) << place.id;  // grown to its text
        } else {
            EXPECT_EQ(r.right - r.left, scaled(place.width)) << place.id;
        }
        EXPECT_EQ(r.bottom - r.top, scaled(place.height)) << place.id;
    }
    const std::pair<int, const wchar_t*> captions[] = {
        {IDC_LABEL4, L"Utilita pro odstranění diakritiky z jmen souborů a adresářů"},
        {IDC_LABEL1, L"Adresář:"},
        {IDC_CSUBDIR, L"Včetně podadresářů"},
        {IDC_LABEL2, L"Typy souborů:"},
        {IDC_EMASK, L"*.*"},
        {IDC_LABEL3, L"Např:   *.JPG;*.BMP;*.GIF"},
        {IDC_GROUPBOX3, L"Nastavení"},
        {IDC_CRENDIR, L"Přejmenovat i adresáře"},
        {IDC_CREPLSPACE, L"Nahradit mezery podtržítkem"},
        {IDC_CNONALPHANUM, L"Nealfanumerické znaky podtržítkem"},
        {IDC_CREMUNDR, L"Odstranit podtržítka"},
        {IDC_CREPLUNDR, L"Nahradit podtržítka mezerami"},
        {IDC_CREMSPACE, L"Odstranit mezery"},
        {IDC_GROUPBOX2, L"Velikost písmen"},
        {IDC_RNOCHANGENAME, L"Beze změny"},
        {IDC_RUPPERNAME, L"Na velká písmena"},
        {IDC_RLOWERNAME, L"Na malá písmena"},
        {IDC_LABEL5, L"Autor:"},
        {IDOK, L"&OK"},
        {IDCANCEL, L"&Storno"},
    };
    for (const auto& [id, caption] : captions) {
        EXPECT_EQ(TextOf(Item(id)), caption) << id;
    }
    EXPECT_TRUE(Checked(IDC_RNOCHANGENAME));
    EXPECT_FALSE(Enabled(IDOK));
    EXPECT_TRUE(::GetWindowLongW(Item(IDC_EMASK), GWL_STYLE) & ES_UPPERCASE);
    EXPECT_EQ(::SendMessageW(Item(IDC_LBMESSAGE), LB_GETITEMHEIGHT, 0, 0), 16);
    RECT list{};
    ::GetClientRect(Item(IDC_LBMESSAGE), &list);
    EXPECT_EQ(list.bottom % 16, 0) << "the list keeps to whole rows";
    RECT outer{};
    ::GetWindowRect(w.hwnd(), &outer);
    EXPECT_EQ(outer.left, 871);
    EXPECT_EQ(outer.top, 227);
    const LONG style = ::GetWindowLongW(w.hwnd(), GWL_STYLE);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
    EXPECT_EQ(::GetWindow(w.hwnd(), GW_OWNER), application);
}

TEST_F(Win32Window, TabWalksTheDesignedOrderAndTheSelectedRadio) {
    TfTovana& w = Open();
    SetText(IDC_EPATH, L"C:\\");
    const int order[] = {IDC_EPATH,     IDC_BUTTON1,    IDC_CSUBDIR,      IDC_EMASK,
                         IDOK,          IDCANCEL,       IDC_LBMESSAGE,    IDC_RNOCHANGENAME,
                         IDC_CRENDIR,   IDC_CREPLSPACE, IDC_CNONALPHANUM, IDC_CREMUNDR,
                         IDC_CREPLUNDR, IDC_CREMSPACE,  IDC_EPATH};
    HWND at = Item(IDC_EPATH);
    for (std::size_t i = 1; i < sizeof order / sizeof order[0]; ++i) {
        at = ::GetNextDlgTabItem(w.hwnd(), at, FALSE);
        EXPECT_EQ(::GetDlgCtrlID(at), order[i]) << "step " << i;
    }
    SetText(IDC_EPATH, L"");
    at = ::GetNextDlgTabItem(w.hwnd(), Item(IDC_EMASK), FALSE);
    EXPECT_EQ(::GetDlgCtrlID(at), IDCANCEL) << "a disabled OK is skipped";
}

TEST_F(Win32Window, InterlocksAndTheStartButton) {
    Open();
    Click(IDC_CREMSPACE);
    Click(IDC_CREPLSPACE);
    EXPECT_FALSE(Enabled(IDC_CREMSPACE));
    EXPECT_FALSE(Enabled(IDC_CREPLUNDR));
    EXPECT_TRUE(Checked(IDC_CREMSPACE)) << "a greyed-out box keeps its check";
    Click(IDC_CREPLSPACE);
    EXPECT_TRUE(Enabled(IDC_CREMSPACE));
    Click(IDC_CREPLUNDR);
    EXPECT_FALSE(Enabled(IDC_CREMUNDR));
    EXPECT_FALSE(Enabled(IDC_CREPLSPACE));
    SetText(IDC_EPATH, L"x");
    EXPECT_TRUE(Enabled(IDOK));
    SetText(IDC_EPATH, L"");
    EXPECT_FALSE(Enabled(IDOK));
}

TEST_F(Win32Window, PickerFillsTheFieldOnlyWhenConfirmedAndMovesTheFocus) {
    Open();
    SetText(IDC_EPATH, L"typed");
    Click(IDC_BUTTON1);
    EXPECT_EQ(pickerStartedWith, L"typed");
    EXPECT_EQ(TextOf(Item(IDC_EPATH)), L"typed");
    EXPECT_EQ(::GetFocus(), Item(IDC_CSUBDIR));
    pickerAnswer = L"C:\\windows";
    Click(IDC_BUTTON1);
    EXPECT_EQ(TextOf(Item(IDC_EPATH)), L"C:\\windows");
}

TEST_F(Win32Window, RunFromOkListsRowsWithKindsAndSummarises) {
    tovana::test::TempTree tree;
    tree.Add("Léto/Ěčko/č.txt");
    tree.Add("Léto/C.txt");
    tree.Add("Léto/Č.txt");
    Open();
    SetText(IDC_EPATH, tovana::WideFromUtf8(tree.path("Léto")));
    Click(IDC_CSUBDIR);
    Click(IDC_CRENDIR);
    Click(IDOK);
    const HWND list = Item(IDC_LBMESSAGE);
    ASSERT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 4);
    std::map<std::wstring, LRESULT> rows;
    for (int i = 0; i < 4; ++i) {
        wchar_t text[512];
        ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        rows[text] = ::SendMessageW(list, LB_GETITEMDATA, i, 0);
    }
    const std::wstring root = tovana::WideFromUtf8(tree.path("Léto"));
    EXPECT_EQ(rows[root + L"\\Ěčko\\č.txt"], tovana::rkFileRenamed);
    EXPECT_EQ(rows[root + L"\\Ěčko"], tovana::rkDirRenamed);
    EXPECT_EQ(rows[root + L"\\Č.txt"], tovana::rkFailed);
    EXPECT_EQ(rows[root], tovana::rkDirRenamed);
    ASSERT_EQ(shown.size(), 1u);
    SavePicture(form->hwnd(), TOVANA_BUILD_DIR "/tovana-window-wine.bmp");
    EXPECT_EQ(shown[0].title, L"Výsledek přejmenování");
    EXPECT_EQ(shown[0].text, L"Přejmenováno:\r\r1 souborů\r2 adresářů");
    EXPECT_EQ(shown[0].flags & MB_ICONMASK, 0u);
}

TEST_F(Win32Window, SettingsLoadSaveAndTheErrorBoxForAMistypedValue) {
    {
        Open();
        SetText(IDC_EPATH, L"D:\\Fotky");
        Click(IDC_CREPLSPACE);
        Click(IDC_RUPPERNAME);
        ::SendMessageW(form->hwnd(), WM_CLOSE, 0, 0);
        Pump();
        EXPECT_TRUE(form->closed());
    }
    Open();
    EXPECT_EQ(TextOf(Item(IDC_EPATH)), L"D:\\Fotky");
    EXPECT_TRUE(Checked(IDC_CREPLSPACE));
    EXPECT_FALSE(Enabled(IDC_CREMSPACE)) << "loading runs the click handlers";
    EXPECT_TRUE(Checked(IDC_RUPPERNAME));
    EXPECT_FALSE(Checked(IDC_RNOCHANGENAME));
    form.reset();

    HKEY key = nullptr;
    ::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_ALL_ACCESS, &key);
    const wchar_t one[] = L"1";
    ::RegSetValueExW(key, L"SubDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(one), sizeof one);
    ::RegCloseKey(key);
    Open();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Invalid data type for 'SubDir'");
    EXPECT_EQ(shown[0].title, L"Tovana");
    EXPECT_EQ(shown[0].flags & MB_ICONMASK, UINT(MB_ICONSTOP));
}

// A key as the program's message loop hands it to the dialog manager.
void PressKey(HWND dialog, WPARAM key) {
    MSG message{::GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    if (!::IsDialogMessageW(dialog, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    Pump();
}

TEST_F(Win32Window, EnterRunsOnlyWithAFolderAndEscClosesThroughCancelSaving) {
    tovana::test::TempTree tree;
    Open();
    ::SetFocus(Item(IDC_CSUBDIR));
    PressKey(form->hwnd(), VK_RETURN);
    EXPECT_TRUE(shown.empty()) << "Enter must start nothing while OK is disabled";
    SetText(IDC_EPATH, tovana::WideFromUtf8(tree.path()));
    ::SetFocus(Item(IDC_CSUBDIR));
    PressKey(form->hwnd(), VK_RETURN);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, L"Výsledek přejmenování");
    PressKey(form->hwnd(), VK_ESCAPE);
    EXPECT_TRUE(form->closed());
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS)
        << "closing must save the settings";
    ::RegCloseKey(key);
}

TEST_F(Win32Window, FailedSaveKeepsTheWindowOpen) {
    Open();
    // A store whose every write is refused.
    class Unwritable : public tovana::SettingsStore {
      public:
        std::unique_ptr<tovana::SettingsKey> OpenForReading(tovana::ReadAccess) override {
            return nullptr;
        }
        std::unique_ptr<tovana::SettingsKey> OpenForWriting() override {
            class Key : public tovana::SettingsKey {
                tovana::QueryStatus Query(const std::string&, std::size_t,
                                          tovana::StoredValue&) override {
                    return tovana::QueryStatus::Missing;
                }
                bool Set(const std::string&, const tovana::StoredValue&) override { return false; }
            };
            return std::make_unique<Key>();
        }
    };
    Unwritable unwritable;
    TovanaServices services;
    services.settings = &unwritable;
    services.showMessage = [this](HWND, const std::wstring& title, const std::wstring& text,
                                  UINT flags) {
        shown.push_back({title, text, flags});
    };
    form = std::make_unique<TfTovana>(::GetModuleHandleW(nullptr), application, services);
    ::SendMessageW(form->hwnd(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_FALSE(form->closed());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Failed to set data for 'Path'");
}

TEST_F(Win32Window, LinksHandTheirAddressesToTheShell) {
    Open();
    ::SendMessageW(form->hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LAUTHOR, STN_CLICKED),
                   reinterpret_cast<LPARAM>(Item(IDC_LAUTHOR)));
    ::SendMessageW(form->hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LWEB, STN_CLICKED),
                   reinterpret_cast<LPARAM>(Item(IDC_LWEB)));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], L"MailTo:podpora@korvel.example?Subject=Pripominky%20k%20Tovana");
    EXPECT_EQ(opened[1], L"http://www.korvel.example");
}

// The built program carries its version and its manifest.
TEST(Win32Program, VersionResourceAndManifest) {
    const std::wstring program = tovana::WideFromUtf8("Z:" TOVANA_WIN32_PROGRAM);
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000012u);
    const auto value = [&data](const wchar_t* name) {
        wchar_t* text = nullptr;
        UINT textLength = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040504E2\\") + name;
        return ::VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text),
                                &textLength)
                   ? std::wstring(text)
                   : std::wstring(L"(none)");
    };
    EXPECT_EQ(value(L"FileVersion"), L"1.2.0.18");
    EXPECT_EQ(value(L"ProductVersion"), L"1.0.0.0");
    EXPECT_EQ(value(L"ProductName"), L"Tovana");
    EXPECT_EQ(value(L"InternalName"), L"Tovana");
    EXPECT_EQ(value(L"OriginalFilename"), L"Tovana.exe");
    EXPECT_EQ(value(L"FileDescription"), L"Odstraneni diakritiky z nazvu souboru a adresaru");

    const HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(::LockResource(::LoadResource(module, manifest)));
    const std::string content(text, ::SizeofResource(module, manifest));
    EXPECT_NE(content.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(content.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(::FindResourceW(module, L"MAINICON", RT_GROUP_ICON), nullptr);
    ::FreeLibrary(module);
}

}  // namespace
