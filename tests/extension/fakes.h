/* Small stand-ins for the browser's objects, written in C so that each
   answers only the few methods a test needs (the others are left empty and
   are never called). Every fake counts its references, so tests can check
   that the code under test gave back every reference it took. */
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FakeBrowserState {
  LONG refs;
  HRESULT locationResult; /* result of get_LocationURL */
  const wchar_t* location;
  HRESULT documentResult; /* result of get_Document */
  IDispatch* document;    /* handed out with a reference */
  int registerAsBrowserCalls;
  VARIANT_BOOL registerAsBrowser;
  IDispatch* application; /* handed out by get_Application, with a reference */
  SHANDLE_PTR hwnd;       /* answered by get_HWND */
} FakeBrowserState;

/* A browser object answering IUnknown, IDispatch, IWebBrowser, IWebBrowserApp
   and IWebBrowser2; one reference, released by the caller. */
IWebBrowser2* FakeBrowser_New(FakeBrowserState** state);

typedef struct FakeUnknownState {
  LONG refs;
} FakeUnknownState;

/* A document: IUnknown and IDispatch, and IHTMLDocument2 when html is set
   (only its IUnknown part may be called). */
IDispatch* FakeDocument_New(BOOL html, FakeUnknownState** state);

typedef struct FakeWindowState {
  LONG refs;
  HRESULT getOnloadResult;
  VARIANT onload; /* the window's onload property */
  int putOnloadCalls;
} FakeWindowState;

/* A page window: IUnknown, IDispatch, IHTMLWindow2 with its onload property. */
IHTMLWindow2* FakeWindow_New(FakeWindowState** state);

typedef struct FakeHandlerState {
  LONG refs;
  int invokeCalls;
  DISPID id;
  WORD flags;
  LCID lcid;
  DISPPARAMS* params;
  VARIANT* result;
  EXCEPINFO* exception;
  UINT* argError;
  HRESULT invokeResult;
} FakeHandlerState;

/* A page's own onload handler: an IDispatch that records its Invoke. */
IDispatch* FakeHandler_New(FakeHandlerState** state);

typedef struct FakeFactoryState {
  LONG refs;
  int createCalls;
  HRESULT createResult; /* a failure makes CreateInstance fail */
  IUnknown* product;    /* answered for the asked-for interface */
} FakeFactoryState;

/* A class object that hands out one given object (for CoRegisterClassObject). */
IClassFactory* FakeFactory_New(FakeFactoryState** state);

#ifdef __cplusplus
}
#endif
