// CClosePopup linked into the test: its site, the page events that reach the
// popup decision, and whole new-window requests with the shared region, the
// white list, the keyboard state, the tray program's window, the kill sound
// and the hidden browser of the delayed-close path.
#include "closepopup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands.h"
#include "dllcomm.h"
#include "fakes.h"
#include "module.h"
#include "urlop.h"
#include "vextest.h"
#include "wintable.h"

namespace qp {
namespace {

using Microsoft::WRL::ComPtr;

// Sets up the library's process-wide state in the test program once.
class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(module::Attach(::GetModuleHandleA(nullptr))); }
};
const auto* const kModule = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

ComPtr<CClosePopup> NewClosePopup() {
  ComPtr<IObjectWithSite> created;
  EXPECT_EQ(CClosePopup::Create(nullptr, IID_PPV_ARGS(&created)), S_OK);
  return ComPtr<CClosePopup>(static_cast<CClosePopup*>(created.Get()));
}

// Records the kill sound's platform calls.
struct SoundLog {
  static BOOL WINAPI MessageBeep(UINT type) {
    calls.push_back("MessageBeep(" + std::to_string(type) + ")");
    return TRUE;
  }
  static BOOL WINAPI Beep(DWORD hz, DWORD ms) {
    calls.push_back("Beep(" + std::to_string(hz) + "," + std::to_string(ms) + ")");
    return TRUE;
  }
  static std::vector<std::string> calls;
};
std::vector<std::string> SoundLog::calls;

class ClosePopupTest : public ::testing::Test {
 public:  // the case tables reach into the fixture
  void SetUp() override {
    ASSERT_TRUE(com_.ok());
    ASSERT_TRUE(region_.ok());
    ASSERT_NE(postBox_.hwnd(), nullptr);
    info_ = GetShareInfo();
    *info_ = ShareInfo{};
    info_->Enable = 1;
    info_->KillPopup = 1;
    info_->TrayWnd = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(postBox_.hwnd()));
    SoundLog::calls.clear();
    previousSound_ = SetKillSoundCalls({SoundLog::MessageBeep, SoundLog::Beep});
    browser_ = test::Adopt(FakeBrowser_New(&browserState_));
    object_ = NewClosePopup();
    // The fake browser has no connection points, so the attach stops there
    // (and undoes itself); the object keeps the browser for its decisions.
    ASSERT_EQ(object_->SetSite(browser_.Get()), E_POINTER);
  }
  void TearDown() override {
    SetKillSoundCalls(previousSound_);
    module::SetIsWin9x(false);
    if (object_) {
      object_->SetSite(nullptr);
      EXPECT_EQ(object_.Reset(), 0u);
    }
    EXPECT_EQ(browserState_->refs, 1) << "every reference to the browser was given back";
    *info_ = ShareInfo{};
  }

  std::vector<MSG> Posted() { return postBox_.Take(CommandMessageId()); }

  test::ComApartment com_;
  test::RegionRef region_;
  test::PostBox postBox_;
  ShareInfo* info_ = nullptr;
  KillSoundCalls previousSound_{};
  ComPtr<IWebBrowser2> browser_;
  FakeBrowserState* browserState_ = nullptr;
  ComPtr<CClosePopup> object_;
};

TEST(ClosePopupSite, KeepsTheLastSiteAndAnswersIt) {
  test::ComApartment com;
  ComPtr<CClosePopup> object = NewClosePopup();
  FakeUnknownState* state = nullptr;
  ComPtr<IDispatch> notABrowser;
  notABrowser = test::Adopt(FakeDocument_New(FALSE, &state));

  void* site = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(object->GetSite(IID_IUnknown, &site), E_FAIL) << "no site yet";
  EXPECT_EQ(site, nullptr);
  EXPECT_EQ(object->GetSite(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(object->SetSite(nullptr), E_INVALIDARG);

  EXPECT_EQ(object->SetSite(notABrowser.Get()), E_INVALIDARG);
  ComPtr<IDispatch> answered;
  ASSERT_EQ(object->GetSite(IID_PPV_ARGS(&answered)), S_OK);
  EXPECT_EQ(answered.Get(), notABrowser.Get());
  answered.Reset();
  ComPtr<IWebBrowser2> wrong;
  EXPECT_EQ(object->GetSite(IID_PPV_ARGS(&wrong)), E_NOINTERFACE);

  EXPECT_EQ(object->SetSite(nullptr), E_INVALIDARG);
  EXPECT_EQ(object->GetSite(IID_PPV_ARGS(&answered)), E_FAIL);
  EXPECT_EQ(state->refs, 1) << "the site was let go";
  EXPECT_EQ(object.Reset(), 0u);
}

TEST(ClosePopupSite, OnQuitResetMarksTheWindowAsClosing) {
  ComPtr<CClosePopup> object = NewClosePopup();
  EXPECT_FALSE(object->popupGuard().quitting());
  EXPECT_EQ(object->OnQuitReset(), S_OK);
  EXPECT_TRUE(object->popupGuard().quitting());
}

TEST_F(ClosePopupTest, PageEventsCountOnlyWhileAnHtmlDocumentIsShown) {
  struct Case {
    const char* name;
    HRESULT documentResult;
    int document;  // 0 none, 1 HTML, 2 not HTML
    bool reaches;
  };
  const Case cases[] = {
      {"HTML document", S_OK, 1, true},
      {"folder view", S_OK, 2, false},
      {"no document", S_OK, 0, false},
      {"document call fails", E_FAIL, 1, false},
      {"document call answers S_FALSE", S_FALSE, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeUnknownState* docState = nullptr;
    browserState_->document = c.document == 0 ? nullptr : FakeDocument_New(c.document == 1, &docState);
    browserState_->documentResult = c.documentResult;
    for (std::int32_t code : {kDispIdWindowOnload, kDispIdWindowOnunload, ONLOAD_HOOK_CODE}) {
      object_->popupGuard().OnUserClick();
      object_->OnDocumentEvent(code);
      EXPECT_EQ(object_->popupGuard().allow(), !c.reaches) << code;
    }
    if (docState != nullptr) {
      EXPECT_EQ(docState->refs, 1) << "the document was released";
    }
    if (browserState_->document) browserState_->document->Release();
    browserState_->document = nullptr;
  }
}

TEST_F(ClosePopupTest, UnrequestedWindowIsKilledWithSoundFlashAndCount) {
  info_->BEEP = 1;
  info_->FlashIcon = 1;
  info_->BlockCount = 6;
  for (bool win9x : {false, true}) {
    SCOPED_TRACE(win9x ? "Windows 98" : "Windows 2000");
    module::SetIsWin9x(win9x);
    SoundLog::calls.clear();
    IDispatch* popup = nullptr;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    object_->OnNewWindow2(&popup, &cancel);
    EXPECT_EQ(cancel, VARIANT_TRUE);
    EXPECT_EQ(popup, nullptr);
    EXPECT_EQ(SoundLog::calls, std::vector<std::string>{win9x ? "MessageBeep(0)" : "Beep(400,100)"});
    const std::vector<MSG> posted = Posted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].wParam, static_cast<WPARAM>(CMD_FLASH_ICON));
    EXPECT_EQ(posted[0].lParam, 0);
  }
  EXPECT_EQ(info_->BlockCount, 8);
}

TEST_F(ClosePopupTest, RequestedOrExemptWindowsOpen) {
  info_->BEEP = 1;
  info_->FlashIcon = 1;
  ASSERT_TRUE(GetUrlList(kWhiteList).Add("trusted.example"));
  struct Case {
    const char* name;
    void (*arrange)(ClosePopupTest&);
    bool cancelled;
  };
  const Case cases[] = {
      {"no gesture", [](ClosePopupTest&) {}, true},
      {"click", [](ClosePopupTest& t) { t.object_->popupGuard().OnUserClick(); }, false},
      {"address unknown", [](ClosePopupTest& t) { t.browserState_->locationResult = E_FAIL; }, false},
      {"white-listed host", [](ClosePopupTest& t) { t.browserState_->location = L"http://trusted.example/x"; },
       false},
      {"other host", [](ClosePopupTest& t) { t.browserState_->location = L"http://untrusted.example/x"; }, true},
      {"shift held",
       [](ClosePopupTest&) {
         BYTE keys[256] = {};
         ::GetKeyboardState(keys);
         keys[VK_SHIFT] = 0x80;
         ::SetKeyboardState(keys);
       },
       false},
      {"ctrl held",
       [](ClosePopupTest&) {
         BYTE keys[256] = {};
         ::GetKeyboardState(keys);
         keys[VK_CONTROL] = 0x80;
         ::SetKeyboardState(keys);
       },
       false},
      {"switched off", [](ClosePopupTest& t) { t.info_->KillPopup = 0; }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.arrange(*this);
    const std::int32_t before = info_->BlockCount;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* popup = nullptr;
    object_->OnNewWindow2(&popup, &cancel);
    EXPECT_EQ(cancel, c.cancelled ? VARIANT_TRUE : VARIANT_FALSE);
    EXPECT_EQ(info_->BlockCount - before, c.cancelled ? 1 : 0);
    EXPECT_EQ(Posted().size(), c.cancelled ? 1u : 0u);
    // Back to the plain state for the next case.
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_SHIFT] = keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    browserState_->locationResult = S_OK;
    browserState_->location = L"http://pages.example/index.html";
    info_->KillPopup = 1;
  }
  GetUrlList(kWhiteList).Clear();
}

TEST_F(ClosePopupTest, TrayWindowMissingOrNoCancelFlagChangesNothingElse) {
  info_->FlashIcon = 1;
  info_->TrayWnd = 0;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  object_->OnNewWindow2(nullptr, &cancel);
  EXPECT_EQ(cancel, VARIANT_TRUE);
  EXPECT_EQ(info_->BlockCount, 1) << "counted even without a tray program";
  EXPECT_TRUE(Posted().empty());

  object_->popupGuard().OnUserClick();
  object_->OnNewWindow2(nullptr, nullptr);
  EXPECT_EQ(info_->BlockCount, 1);
  EXPECT_TRUE(object_->popupGuard().allow()) << "a request without its Cancel flag is not judged";
}

// The hidden browser of the delayed-close path, registered in this process
// as the browser application class for the length of one test.
class HiddenBrowserServer {
 public:
  explicit HiddenBrowserServer(HRESULT createResult) {
    factory_ = test::Adopt(FakeFactory_New(&factoryState_));
    factoryState_->createResult = createResult;
    hidden_ = FakeBrowser_New(&hiddenState_);
    hiddenState_->hwnd = 0x00C0FFEE;
    FakeUnknownState* appState = nullptr;
    hiddenState_->application = FakeDocument_New(FALSE, &appState);
    application_ = hiddenState_->application;
    factoryState_->product = reinterpret_cast<IUnknown*>(hidden_);
    registered_ = ::CoRegisterClassObject(CLSID_InternetExplorer, reinterpret_cast<IUnknown*>(factory_.Get()),
                                          CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  }
  ~HiddenBrowserServer() {
    if (SUCCEEDED(registered_)) ::CoRevokeClassObject(cookie_);
    EXPECT_EQ(factoryState_->refs, 1) << "the class object was given back";
  }
  HRESULT registered() const { return registered_; }
  FakeFactoryState* factory() const { return factoryState_; }
  FakeBrowserState* hidden() const { return hiddenState_; }
  IDispatch* application() const { return application_; }

 private:
  ComPtr<IClassFactory> factory_;
  FakeFactoryState* factoryState_ = nullptr;
  IWebBrowser2* hidden_ = nullptr;  // owned by the factory
  FakeBrowserState* hiddenState_ = nullptr;
  IDispatch* application_ = nullptr;
  HRESULT registered_ = E_FAIL;
  DWORD cookie_ = 0;
};

TEST_F(ClosePopupTest, DelayedCloseOpensTheKilledWindowHidden) {
  info_->DELAYCLOSE = 1;
  info_->BEEP = 1;
  info_->FlashIcon = 1;
  HiddenBrowserServer server(S_OK);
  ASSERT_EQ(server.registered(), S_OK);

  object_->popupGuard().OnUserClick();
  IDispatch* popup = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  object_->OnNewWindow2(&popup, &cancel);
  EXPECT_EQ(cancel, VARIANT_FALSE);
  EXPECT_EQ(popup, nullptr);
  EXPECT_EQ(server.factory()->createCalls, 0) << "a requested window needs no hidden browser";

  object_->OnNewWindow2(&popup, &cancel);
  EXPECT_EQ(cancel, VARIANT_FALSE) << "the cancel became a hidden open";
  EXPECT_EQ(server.factory()->createCalls, 1);
  EXPECT_EQ(popup, server.application()) << "the page receives the hidden browser's window";
  EXPECT_EQ(server.hidden()->registerAsBrowserCalls, 1);
  EXPECT_EQ(server.hidden()->registerAsBrowser, VARIANT_TRUE);
  const std::vector<MSG> posted = Posted();
  ASSERT_EQ(posted.size(), 1u) << "only the delayed close; the tray program sounds, flashes and counts";
  EXPECT_EQ(posted[0].wParam, static_cast<WPARAM>(CMD_DELAY_CLOSE));
  EXPECT_EQ(posted[0].lParam, 0x00C0FFEE);
  EXPECT_TRUE(SoundLog::calls.empty());
  EXPECT_EQ(info_->BlockCount, 0);
  if (popup != nullptr) popup->Release();
  EXPECT_EQ(server.hidden()->refs, 1) << "the local reference to the hidden browser was released";

  // A cancel that another handler set on arrival takes the same path.
  object_->popupGuard().OnUserClick();
  cancel = VARIANT_TRUE;
  object_->OnNewWindow2(&popup, &cancel);
  EXPECT_EQ(cancel, VARIANT_FALSE);
  EXPECT_EQ(server.factory()->createCalls, 2);
  if (popup != nullptr) popup->Release();
  EXPECT_EQ(Posted().size(), 1u);
}

TEST_F(ClosePopupTest, NoHiddenBrowserMeansAnOrdinaryWindow) {
  info_->DELAYCLOSE = 1;
  info_->BEEP = 1;
  info_->FlashIcon = 1;
  HiddenBrowserServer server(E_OUTOFMEMORY);
  ASSERT_EQ(server.registered(), S_OK);
  IDispatch* popup = reinterpret_cast<IDispatch*>(0x1234);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  object_->OnNewWindow2(&popup, &cancel);
  EXPECT_EQ(server.factory()->createCalls, 1);
  EXPECT_EQ(cancel, VARIANT_FALSE);
  EXPECT_EQ(popup, nullptr);
  EXPECT_TRUE(Posted().empty());
  EXPECT_TRUE(SoundLog::calls.empty());
  EXPECT_EQ(info_->BlockCount, 0);
}

TEST_F(ClosePopupTest, ScriptAddressesOfNavigations) {
  struct Case {
    const char* name;
    VARTYPE type;
    const wchar_t* text;
    bool script;
  };
  const Case cases[] = {
      {"script link", VT_BSTR, L"  JavaScript:openIt()", true},
      {"vbscript", VT_BSTR, L"VBScript:x", true},
      {"web address naming javascript", VT_BSTR, L"http://pages.example/javascript/menu.html", false},
      {"empty text", VT_BSTR, nullptr, false},
      {"not text", VT_I4, nullptr, false},
  };
  for (bool byReference : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (byReference ? " by reference" : ""));
      unique_variant url;
      V_VT(url.get()) = c.type;
      if (c.type == VT_BSTR) V_BSTR(url.get()) = c.text ? ::SysAllocString(c.text) : nullptr;
      if (c.type == VT_I4) V_I4(url.get()) = 7;
      VARIANT reference;
      V_VT(&reference) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&reference) = url.get();
      object_->OnBeforeNavigate(byReference ? &reference : url.get());
      EXPECT_EQ(object_->popupGuard().scriptLink(), c.script);
    }
  }
  object_->OnBeforeNavigate(nullptr);
  EXPECT_FALSE(object_->popupGuard().scriptLink());
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// The keyboard hook, called the way the system calls it on the browser
// window's thread: only the first key-down of N or Enter is a gesture.
TEST_F(ClosePopupTest, KeyboardHookCountsFirstKeyDownOfNOrEnterOnly) {
  module::SetThreadObject(object_.Get());
  constexpr LPARAM kDown = 1;
  constexpr LPARAM kRepeat = kDown | (1 << 30);
  constexpr LPARAM kUp = static_cast<LPARAM>(0xC0000001u);
  const struct {
    int code;
    WPARAM key;
    LPARAM flags;
    bool gesture;
  } cases[] = {
      {HC_ACTION, 'N', kDown, true},      {HC_ACTION, VK_RETURN, kDown, true}, {HC_ACTION, 'N', kRepeat, false},
      {HC_ACTION, 'N', kUp, false},       {HC_ACTION, 'M', kDown, false},      {HC_ACTION, VK_SPACE, kDown, false},
      {HC_NOREMOVE, 'N', kDown, true},    {-1, 'N', kDown, false},
  };
  for (const auto& c : cases) {
    object_->popupGuard().SetAllow(false);
    CClosePopup::KeyboardHookProc(c.code, c.key, c.flags);
    EXPECT_EQ(object_->popupGuard().allow(), c.gesture) << "key " << c.key << " flags " << std::hex << c.flags;
  }
  module::SetThreadObject(nullptr);
  object_->popupGuard().SetAllow(false);
  CClosePopup::KeyboardHookProc(HC_ACTION, 'N', kDown);
  EXPECT_FALSE(object_->popupGuard().allow()) << "an empty thread slot only passes the call on";
}

TEST(PageAreaTest, RecognisesThePageAreaByItsClassInAnyCase) {
  const struct {
    const wchar_t* className;
    bool pane;
  } cases[] = {
      {L"Internet Explorer_Server", true},
      {L"internet explorer_server", true},
      {L"Internet Explorer_Server2", false},
      {L"Shell DocObject View", false},
  };
  for (const auto& c : cases) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = c.className;
    ::RegisterClassW(&wc);
    unique_hwnd window(::CreateWindowW(c.className, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       wc.hInstance, nullptr));
    ASSERT_TRUE(window);
    EXPECT_EQ(IsHtmlPaneWindow(window.get()), c.pane);
    window.reset();
    ::UnregisterClassW(c.className, wc.hInstance);
  }
  EXPECT_FALSE(IsHtmlPaneWindow(nullptr));
}

}  // namespace
}  // namespace qp
