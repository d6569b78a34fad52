#include "fakes.h"

#include <stdlib.h>

/* Every fake: its interface first, then its state. */
#define FAKE_OF(type, iface) ((type*)(iface))

static ULONG AddRefCount(LONG* refs) { return (ULONG)InterlockedIncrement(refs); }

static ULONG ReleaseCount(LONG* refs, void* object, void (*clear)(void*)) {
  const LONG left = InterlockedDecrement(refs);
  if (left == 0) {
    if (clear) clear(object);
    free(object);
  }
  return (ULONG)left;
}

static BOOL IsOneOf(REFIID riid, const IID* const* iids, int count) {
  for (int i = 0; i < count; ++i) {
    if (IsEqualIID(riid, iids[i])) return TRUE;
  }
  return FALSE;
}

/* ---- browser ---- */

typedef struct FakeBrowser {
  IWebBrowser2 iface;
  FakeBrowserState state;
} FakeBrowser;

static HRESULT STDMETHODCALLTYPE Browser_QueryInterface(IWebBrowser2* This, REFIID riid, void** ppv) {
  static const IID* const iids[] = {&IID_IUnknown, &IID_IDispatch, &IID_IWebBrowser, &IID_IWebBrowserApp,
                                    &IID_IWebBrowser2};
  if (!ppv) return E_POINTER;
  *ppv = NULL;
  if (!IsOneOf(riid, iids, 5)) return E_NOINTERFACE;
  *ppv = This;
  This->lpVtbl->AddRef(This);
  return S_OK;
}

static ULONG STDMETHODCALLTYPE Browser_AddRef(IWebBrowser2* This) {
  return AddRefCount(&FAKE_OF(FakeBrowser, This)->state.refs);
}

static void Browser_Clear(void* object) {
  FakeBrowser* fake = (FakeBrowser*)object;
  if (fake->state.document) fake->state.document->lpVtbl->Release(fake->state.document);
  if (fake->state.application) fake->state.application->lpVtbl->Release(fake->state.application);
}

static ULONG STDMETHODCALLTYPE Browser_Release(IWebBrowser2* This) {
  return ReleaseCount(&FAKE_OF(FakeBrowser, This)->state.refs, This, Browser_Clear);
}

static HRESULT STDMETHODCALLTYPE Browser_get_LocationURL(IWebBrowser2* This, BSTR* url) {
  FakeBrowserState* s = &FAKE_OF(FakeBrowser, This)->state;
  *url = NULL;
  if (s->locationResult != S_OK) return s->locationResult;
  *url = SysAllocString(s->location ? s->location : L"");
  return S_OK;
}

static HRESULT STDMETHODCALLTYPE Browser_get_Document(IWebBrowser2* This, IDispatch** document) {
  FakeBrowserState* s = &FAKE_OF(FakeBrowser, This)->state;
  *document = NULL;
  if (s->documentResult != S_OK) return s->documentResult;
  *document = s->document;
  if (s->document) s->document->lpVtbl->AddRef(s->document);
  return S_OK;
}

static HRESULT STDMETHODCALLTYPE Browser_put_RegisterAsBrowser(IWebBrowser2* This, VARIANT_BOOL value) {
  FakeBrowserState* s = &FAKE_OF(FakeBrowser, This)->state;
  ++s->registerAsBrowserCalls;
  s->registerAsBrowser = value;
  return S_OK;
}

static HRESULT STDMETHODCALLTYPE Browser_get_Application(IWebBrowser2* This, IDispatch** application) {
  FakeBrowserState* s = &FAKE_OF(FakeBrowser, This)->state;
  *application = s->application;
  if (!s->application) return E_FAIL;
  s->application->lpVtbl->AddRef(s->application);
  return S_OK;
}

static HRESULT STDMETHODCALLTYPE Browser_get_HWND(IWebBrowser2* This, SHANDLE_PTR* hwnd) {
  *hwnd = FAKE_OF(FakeBrowser, This)->state.hwnd;
  return S_OK;
}

static IWebBrowser2Vtbl g_browserVtbl = {
    .QueryInterface = Browser_QueryInterface,
    .AddRef = Browser_AddRef,
    .Release = Browser_Release,
    .get_LocationURL = Browser_get_LocationURL,
    .get_Document = Browser_get_Document,
    .put_RegisterAsBrowser = Browser_put_RegisterAsBrowser,
    .get_Application = Browser_get_Application,
    .get_HWND = Browser_get_HWND,
};

IWebBrowser2* FakeBrowser_New(FakeBrowserState** state) {
  FakeBrowser* fake = (FakeBrowser*)calloc(1, sizeof(FakeBrowser));
  fake->iface.lpVtbl = &g_browserVtbl;
  fake->state.refs = 1;
  fake->state.location = L"http://pages.example/index.html";
  if (state) *state = &fake->state;
  return &fake->iface;
}

/* ---- document ---- */

typedef struct FakeDocument {
  IDispatch iface;
  FakeUnknownState state;
  BOOL html;
} FakeDocument;

static HRESULT STDMETHODCALLTYPE Document_QueryInterface(IDispatch* This, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = NULL;
  if (IsEqualIID(riid, &IID_IUnknown) || IsEqualIID(riid, &IID_IDispatch) ||
      (FAKE_OF(FakeDocument, This)->html && IsEqualIID(riid, &IID_IHTMLDocument2))) {
    *ppv = This;
    This->lpVtbl->AddRef(This);
    return S_OK;
  }
  return E_NOINTERFACE;
}

static ULONG STDMETHODCALLTYPE Document_AddRef(IDispatch* This) {
  return AddRefCount(&FAKE_OF(FakeDocument, This)->state.refs);
}

static ULONG STDMETHODCALLTYPE Document_Release(IDispatch* This) {
  return ReleaseCount(&FAKE_OF(FakeDocument, This)->state.refs, This, NULL);
}

static IDispatchVtbl g_documentVtbl = {
    .QueryInterface = Document_QueryInterface,
    .AddRef = Document_AddRef,
    .Release = Document_Release,
};

IDispatch* FakeDocument_New(BOOL html, FakeUnknownState** state) {
  FakeDocument* fake = (FakeDocument*)calloc(1, sizeof(FakeDocument));
  fake->iface.lpVtbl = &g_documentVtbl;
  fake->state.refs = 1;
  fake->html = html;
  if (state) *state = &fake->state;
  return &fake->iface;
}

/* ---- page window ---- */

typedef struct FakeWindow {
  IHTMLWindow2 iface;
  FakeWindowState state;
} FakeWindow;

static HRESULT STDMETHODCALLTYPE Window_QueryInterface(IHTMLWindow2* This, REFIID riid, void** ppv) {
  static const IID* const iids[] = {&IID_IUnknown, &IID_IDispatch, &IID_IHTMLWindow2};
  if (!ppv) return E_POINTER;
  *ppv = NULL;
  if (!IsOneOf(riid, iids, 3)) return E_NOINTERFACE;
  *ppv = This;
  This->lpVtbl->AddRef(This);
  return S_OK;
}

static ULONG STDMETHODCALLTYPE Window_AddRef(IHTMLWindow2* This) {
  return AddRefCount(&FAKE_OF(FakeWindow, This)->state.refs);
}

static void Window_Clear(void* object) { VariantClear(&((FakeWindow*)object)->state.onload); }

static ULONG STDMETHODCALLTYPE Window_Release(IHTMLWindow2* This) {
  return ReleaseCount(&FAKE_OF(FakeWindow, This)->state.refs, This, Window_Clear);
}

static HRESULT STDMETHODCALLTYPE Window_get_onload(IHTMLWindow2* This, VARIANT* value) {
  FakeWindowState* s = &FAKE_OF(FakeWindow, This)->state;
  VariantInit(value);
  if (s->getOnloadResult != S_OK) return s->getOnloadResult;
  return VariantCopy(value, &s->onload);
}

static HRESULT STDMETHODCALLTYPE Window_put_onload(IHTMLWindow2* This, VARIANT value) {
  FakeWindowState* s = &FAKE_OF(FakeWindow, This)->state;
  ++s->putOnloadCalls;
  VARIANT copy;
  VariantInit(&copy);
  const HRESULT hr = VariantCopy(&copy, &value);
  if (FAILED(hr)) return hr;
  VariantClear(&s->onload);  /* may release the last reference to the old handler */
  s->onload = copy;
  return S_OK;
}

static IHTMLWindow2Vtbl g_windowVtbl = {
    .QueryInterface = Window_QueryInterface,
    .AddRef = Window_AddRef,
    .Release = Window_Release,
    .get_onload = Window_get_onload,
    .put_onload = Window_put_onload,
};

IHTMLWindow2* FakeWindow_New(FakeWindowState** state) {
  FakeWindow* fake = (FakeWindow*)calloc(1, sizeof(FakeWindow));
  fake->iface.lpVtbl = &g_windowVtbl;
  fake->state.refs = 1;
  VariantInit(&fake->state.onload);
  if (state) *state = &fake->state;
  return &fake->iface;
}

/* ---- page handler ---- */

typedef struct FakeHandler {
  IDispatch iface;
  FakeHandlerState state;
} FakeHandler;

static HRESULT STDMETHODCALLTYPE Handler_QueryInterface(IDispatch* This, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = NULL;
  if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IDispatch)) return E_NOINTERFACE;
  *ppv = This;
  This->lpVtbl->AddRef(This);
  return S_OK;
}

static ULONG STDMETHODCALLTYPE Handler_AddRef(IDispatch* This) {
  return AddRefCount(&FAKE_OF(FakeHandler, This)->state.refs);
}

static ULONG STDMETHODCALLTYPE Handler_Release(IDispatch* This) {
  return ReleaseCount(&FAKE_OF(FakeHandler, This)->state.refs, This, NULL);
}

static HRESULT STDMETHODCALLTYPE Handler_Invoke(IDispatch* This, DISPID id, REFIID riid, LCID lcid, WORD flags,
                                                DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                                UINT* argError) {
  (void)riid;
  FakeHandlerState* s = &FAKE_OF(FakeHandler, This)->state;
  ++s->invokeCalls;
  s->id = id;
  s->lcid = lcid;
  s->flags = flags;
  s->params = params;
  s->result = result;
  s->exception = exception;
  s->argError = argError;
  return s->invokeResult;
}

static IDispatchVtbl g_handlerVtbl = {
    .QueryInterface = Handler_QueryInterface,
    .AddRef = Handler_AddRef,
    .Release = Handler_Release,
    .Invoke = Handler_Invoke,
};

IDispatch* FakeHandler_New(FakeHandlerState** state) {
  FakeHandler* fake = (FakeHandler*)calloc(1, sizeof(FakeHandler));
  fake->iface.lpVtbl = &g_handlerVtbl;
  fake->state.refs = 1;
  if (state) *state = &fake->state;
  return &fake->iface;
}

/* ---- class object ---- */

typedef struct FakeFactory {
  IClassFactory iface;
  FakeFactoryState state;
} FakeFactory;

static HRESULT STDMETHODCALLTYPE Factory_QueryInterface(IClassFactory* This, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = NULL;
  if (!IsEqualIID(riid, &IID_IUnknown) && !IsEqualIID(riid, &IID_IClassFactory)) return E_NOINTERFACE;
  *ppv = This;
  This->lpVtbl->AddRef(This);
  return S_OK;
}

static ULONG STDMETHODCALLTYPE Factory_AddRef(IClassFactory* This) {
  return AddRefCount(&FAKE_OF(FakeFactory, This)->state.refs);
}

static void Factory_Clear(void* object) {
  FakeFactory* fake = (FakeFactory*)object;
  if (fake->state.product) fake->state.product->lpVtbl->Release(fake->state.product);
}

static ULONG STDMETHODCALLTYPE Factory_Release(IClassFactory* This) {
  return ReleaseCount(&FAKE_OF(FakeFactory, This)->state.refs, This, Factory_Clear);
}

static HRESULT STDMETHODCALLTYPE Factory_CreateInstance(IClassFactory* This, IUnknown* outer, REFIID riid,
                                                        void** ppv) {
  FakeFactoryState* s = &FAKE_OF(FakeFactory, This)->state;
  ++s->createCalls;
  *ppv = NULL;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (FAILED(s->createResult)) return s->createResult;
  if (!s->product) return E_FAIL;
  return s->product->lpVtbl->QueryInterface(s->product, riid, ppv);
}

static HRESULT STDMETHODCALLTYPE Factory_LockServer(IClassFactory* This, BOOL lock) {
  (void)This;
  (void)lock;
  return S_OK;
}

static IClassFactoryVtbl g_factoryVtbl = {
    .QueryInterface = Factory_QueryInterface,
    .AddRef = Factory_AddRef,
    .Release = Factory_Release,
    .CreateInstance = Factory_CreateInstance,
    .LockServer = Factory_LockServer,
};

IClassFactory* FakeFactory_New(FakeFactoryState** state) {
  FakeFactory* fake = (FakeFactory*)calloc(1, sizeof(FakeFactory));
  fake->iface.lpVtbl = &g_factoryVtbl;
  fake->state.refs = 1;
  if (state) *state = &fake->state;
  return &fake->iface;
}
