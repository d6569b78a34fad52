// The onload hook linked into the test, on a stand-in page window: it takes
// the page's handler's place, reports to its owner, runs the handler with
// the same arguments and puts the handler back.
#include "dispload.h"

#include <gtest/gtest.h>

#include <vector>

#include "fakes.h"
#include "module.h"
#include "popupguard.h"
#include "vextest.h"

namespace qp {
namespace {

using Microsoft::WRL::ComPtr;

class RecordingOwner : public DocumentEventOwner {
 public:
  void OnDocumentEvent(std::int32_t code) override { codes.push_back(code); }
  std::vector<std::int32_t> codes;
};

ComPtr<CDispLoad> NewHook() {
  ComPtr<IDispLoad> created;
  EXPECT_EQ(CDispLoad::Create(nullptr, IID_PPV_ARGS(&created)), S_OK);
  return ComPtr<CDispLoad>(static_cast<CDispLoad*>(created.Get()));
}

bool HoldsDispatch(const VARIANT& v, IDispatch* expected) {
  return V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v) == expected;
}

class DispLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.ok());
    window_ = test::Adopt(FakeWindow_New(&windowState_));
    handler_ = test::Adopt(FakeHandler_New(&handlerState_));
    locksBefore_ = module::LockCount();
  }
  void TearDown() override {
    EXPECT_EQ(module::LockCount(), locksBefore_) << "every hook was destroyed";
    ::VariantClear(&windowState_->onload);
    EXPECT_EQ(handlerState_->refs, 1) << "every reference to the page's handler was given back";
    EXPECT_EQ(windowState_->refs, 1) << "every reference to the window was given back";
  }
  void GiveWindowAHandler() {
    V_VT(&windowState_->onload) = VT_DISPATCH;
    V_DISPATCH(&windowState_->onload) = handler_.Get();
    handler_->AddRef();
  }
  // Fires the page's load event through the window's onload property,
  // without a reference of its own.
  HRESULT FireLoad(DISPPARAMS* params, VARIANT* result) {
    EXPECT_EQ(V_VT(&windowState_->onload), VT_DISPATCH);
    IDispatch* onload = V_DISPATCH(&windowState_->onload);
    return onload->Invoke(DISPID_VALUE, IID_NULL, 1033, DISPATCH_METHOD, params, result, &exception_, &argError_);
  }

  test::ComApartment com_;
  ComPtr<IHTMLWindow2> window_;
  FakeWindowState* windowState_ = nullptr;
  ComPtr<IDispatch> handler_;
  FakeHandlerState* handlerState_ = nullptr;
  RecordingOwner owner_;
  EXCEPINFO exception_{};
  UINT argError_ = 0;
  LONG locksBefore_ = 0;
};

TEST_F(DispLoadTest, HookRunsThePagesHandlerOnceAndPutsItBack) {
  GiveWindowAHandler();
  ComPtr<CDispLoad> hook = NewHook();
  hook->SetOwner(&owner_);
  hook->HookOnload(window_.Get());
  EXPECT_TRUE(HoldsDispatch(windowState_->onload, static_cast<IDispatch*>(hook.Get())));
  EXPECT_TRUE(HoldsDispatch(hook->savedOnload(), handler_.Get()));

  DISPPARAMS params{};
  VARIANT result;
  ::VariantInit(&result);
  EXPECT_EQ(FireLoad(&params, &result), S_OK);

  EXPECT_EQ(owner_.codes, std::vector<std::int32_t>{ONLOAD_HOOK_CODE});
  EXPECT_EQ(handlerState_->invokeCalls, 1);
  EXPECT_EQ(handlerState_->id, DISPID_VALUE);
  EXPECT_EQ(handlerState_->flags, DISPATCH_METHOD);
  EXPECT_EQ(handlerState_->lcid, 1033u);
  EXPECT_EQ(handlerState_->params, &params);
  EXPECT_EQ(handlerState_->result, &result);
  EXPECT_EQ(handlerState_->exception, &exception_);
  EXPECT_EQ(handlerState_->argError, &argError_);
  EXPECT_TRUE(HoldsDispatch(windowState_->onload, handler_.Get())) << "the page's handler is back";
  EXPECT_EQ(V_VT(&hook->savedOnload()), VT_EMPTY);
  EXPECT_EQ(hook->window(), window_.Get()) << "the hook stays tied to its window";

  hook->HookOnload(window_.Get());
  EXPECT_EQ(windowState_->putOnloadCalls, 2) << "a spent hook is never installed again";
  EXPECT_EQ(hook.Reset(), 0u);
}

TEST_F(DispLoadTest, PageWithoutHandlerGetsItsEmptyValueBack) {
  ComPtr<CDispLoad> hook = NewHook();
  hook->SetOwner(&owner_);
  hook->HookOnload(window_.Get());
  DISPPARAMS params{};
  EXPECT_EQ(FireLoad(&params, nullptr), S_OK);
  EXPECT_EQ(owner_.codes.size(), 1u);
  EXPECT_EQ(V_VT(&windowState_->onload), VT_EMPTY);
  EXPECT_EQ(windowState_->putOnloadCalls, 2);
  EXPECT_EQ(hook.Reset(), 0u);
}

TEST_F(DispLoadTest, HookWithoutOwnerDoesNothing) {
  GiveWindowAHandler();
  ComPtr<CDispLoad> hook = NewHook();
  hook->HookOnload(window_.Get());
  DISPPARAMS params{};
  EXPECT_EQ(FireLoad(&params, nullptr), S_OK);
  EXPECT_EQ(handlerState_->invokeCalls, 0);
  EXPECT_TRUE(HoldsDispatch(windowState_->onload, static_cast<IDispatch*>(hook.Get())));
  hook->RestoreOnload();
  EXPECT_TRUE(HoldsDispatch(windowState_->onload, handler_.Get()));
  EXPECT_EQ(hook.Reset(), 0u);
}

TEST_F(DispLoadTest, HookIsInstalledOnceAndOnlyWhenTheHandlerCanBeRead) {
  ComPtr<CDispLoad> hook = NewHook();
  hook->HookOnload(nullptr);
  EXPECT_EQ(hook->window(), nullptr);

  windowState_->getOnloadResult = E_ACCESSDENIED;
  hook->HookOnload(window_.Get());
  EXPECT_EQ(hook->window(), window_.Get()) << "the window is kept";
  EXPECT_EQ(windowState_->putOnloadCalls, 0) << "but the hook is not installed";

  windowState_->getOnloadResult = S_OK;
  hook->HookOnload(window_.Get());
  EXPECT_EQ(windowState_->putOnloadCalls, 0) << "a hook serves one window, once";
  EXPECT_EQ(hook.Reset(), 0u);
}

TEST_F(DispLoadTest, HookHeldOnlyByItsWindowSurvivesItsOwnLoadEvent) {
  GiveWindowAHandler();
  {
    ComPtr<CDispLoad> hook = NewHook();
    hook->SetOwner(&owner_);
    hook->HookOnload(window_.Get());
  }  // the window's onload property holds the last reference now
  handlerState_->invokeResult = E_FAIL;  // the page's handler fails; the rest still runs
  DISPPARAMS params{};
  EXPECT_EQ(FireLoad(&params, nullptr), S_OK);
  EXPECT_EQ(handlerState_->invokeCalls, 1);
  EXPECT_TRUE(HoldsDispatch(windowState_->onload, handler_.Get()));
}

TEST(DispLoad2, AnswersWithoutDoingAnything) {
  ComPtr<IDispLoad2> sink;
  ASSERT_EQ(CDispLoad2::Create(nullptr, IID_PPV_ARGS(&sink)), S_OK);
  DISPPARAMS params{};
  EXPECT_EQ(sink->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(sink->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(sink.Reset(), 0u);
}

}  // namespace
}  // namespace qp
