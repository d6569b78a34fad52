// The page's elements and what hangs off them: styles, the element
// collection, the embedded controls (the Flash stand-in among them), the
// enumerator of embedded objects and the page's own script handlers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "com.h"
#include "notimpl.h"
#include "results.h"
#include "scenario.h"

namespace standin {

// The Flash control's dual interface IShockwaveFlash, with the id its type
// library publishes. The stand-in answers it with its dispatch part only.
extern const IID kIidShockwaveFlash;

class Style;

// Where an element is, and how its changes are reported.
struct ElementCore {
  const ElementDesc* desc = nullptr;
  std::string path;     // frame ids and the element id, joined with '/'
  int windowId = 0;
  RECT box = {};        // client coordinates of its document's page window
  HWND view = nullptr;  // that page window, repainted on changes
  ComPtr<Style> style;
};

class Style final : public NotImpl_IHTMLStyle {
 public:
  Style(int windowId, std::string path, HWND view, RECT box, std::wstring visibility);

  STANDIN_IUNKNOWN(Style)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();

  STDMETHODIMP put_visibility(BSTR v) override;
  STDMETHODIMP get_visibility(BSTR* p) override;

  const std::wstring& visibility() const { return visibility_; }
  bool hidden() const { return visibility_ == L"hidden"; }

 private:
  ~Style() = default;
  RefCount refs_;
  int windowId_;
  std::string path_;
  HWND view_;
  RECT box_;
  std::wstring visibility_;
};

// IHTMLElement as every element serves it: style, id, tagName.
class ElementFace : public NotImpl_IHTMLElement {
 public:
  STDMETHODIMP get_style(IHTMLStyle** p) override;
  STDMETHODIMP get_id(BSTR* p) override;
  STDMETHODIMP get_tagName(BSTR* p) override;

  ElementCore core;
  // Adds the element's own state to a report line.
  virtual void Describe(Record& record);
};

// A plain element (text, link): IHTMLElement only.
class TextElement final : public ElementFace {
 public:
  explicit TextElement(ElementCore c) { core = std::move(c); }
  STANDIN_IUNKNOWN(TextElement)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();

 private:
  ~TextElement() = default;
  RefCount refs_;
};

class ImgElement final : public ElementFace, public NotImpl_IHTMLImgElement {
 public:
  explicit ImgElement(ElementCore c) { core = std::move(c); }
  STANDIN_IUNKNOWN(ImgElement)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();
  STDMETHODIMP get_src(BSTR* p) override;

 private:
  ~ImgElement() = default;
  RefCount refs_;
};

class EmbedElement final : public ElementFace, public NotImpl_IHTMLEmbedElement {
 public:
  explicit EmbedElement(ElementCore c) { core = std::move(c); }
  STANDIN_IUNKNOWN(EmbedElement)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();
  STDMETHODIMP get_src(BSTR* p) override;

 private:
  ~EmbedElement() = default;
  RefCount refs_;
};

class ObjectElement final : public ElementFace, public NotImpl_IHTMLObjectElement {
 public:
  ObjectElement(ElementCore c, ComPtr<IDispatch> control) : control_(std::move(control)) { core = std::move(c); }
  STANDIN_IUNKNOWN(ObjectElement)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();
  STDMETHODIMP get_object(IDispatch** p) override;
  void Describe(Record& record) override;
  IDispatch* control() const { return control_.Get(); }

 private:
  ~ObjectElement() = default;
  RefCount refs_;
  ComPtr<IDispatch> control_;
};

class MarqueeElement final : public ElementFace, public NotImpl_IHTMLMarqueeElement {
 public:
  explicit MarqueeElement(ElementCore c) : running_(c.desc->running) { core = std::move(c); }
  STANDIN_IUNKNOWN(MarqueeElement)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();
  STDMETHODIMP start() override;
  STDMETHODIMP stop() override;
  void Describe(Record& record) override;
  bool running() const { return running_; }

 private:
  ~MarqueeElement() = default;
  void Set(bool running, const char* call);
  RefCount refs_;
  bool running_;
};

// The Flash stand-in: answers IShockwaveFlash and, through IDispatch by
// name, StopPlay, Rewind and Play; every call is reported.
class FlashControl final : public IDispatch {
 public:
  FlashControl(int windowId, std::string path, HWND view, RECT box)
      : windowId_(windowId), path_(std::move(path)), view_(view), box_(box) {}
  STANDIN_IUNKNOWN(FlashControl)
  static const QITAB* QiTable();

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override;

  const char* state() const { return playing_ ? "playing" : "stopped"; }
  int frame() const { return frame_; }

 private:
  ~FlashControl() = default;
  RefCount refs_;
  int windowId_;
  std::string path_;
  HWND view_;
  RECT box_;
  bool playing_ = true;
  int frame_ = 1;  // frames move on only in the drawing; Rewind sets 0
};

// An embedded control that is not Flash: a dispatch object without names.
class OtherControl final : public IDispatch {
 public:
  STANDIN_IUNKNOWN(OtherControl)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();

 private:
  ~OtherControl() = default;
  RefCount refs_;
};

// document.all: the elements of one document in document order.
class Collection final : public NotImpl_IHTMLElementCollection {
 public:
  Collection(std::vector<ComPtr<IDispatch>> items, std::vector<std::wstring> ids)
      : items_(std::move(items)), ids_(std::move(ids)) {}
  STANDIN_IUNKNOWN(Collection)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();

  STDMETHODIMP get_length(LONG* p) override;
  STDMETHODIMP item(VARIANT name, VARIANT index, IDispatch** pdisp) override;

 private:
  ~Collection() = default;
  RefCount refs_;
  std::vector<ComPtr<IDispatch>> items_;
  std::vector<std::wstring> ids_;
};

class EnumUnknown final : public IEnumUnknown {
 public:
  explicit EnumUnknown(std::vector<ComPtr<IUnknown>> items, ULONG next = 0)
      : items_(std::move(items)), next_(next) {}
  STANDIN_IUNKNOWN(EnumUnknown)
  static const QITAB* QiTable();

  STDMETHODIMP Next(ULONG count, IUnknown** out, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumUnknown** out) override;

 private:
  ~EnumUnknown() = default;
  RefCount refs_;
  std::vector<ComPtr<IUnknown>> items_;
  ULONG next_;
};

// A handler of the page's own (window.onload = function ...): called with
// DISPID_VALUE, runs what the scenario says, until the page goes.
class ScriptHandler final : public IDispatch {
 public:
  explicit ScriptHandler(std::function<void()> run) : run_(std::move(run)) {}
  STANDIN_IUNKNOWN(ScriptHandler)
  static const QITAB* QiTable();

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

  void Disconnect() { run_ = nullptr; }

 private:
  ~ScriptHandler() = default;
  RefCount refs_;
  std::function<void()> run_;
};

// Makes the element object of a non-frame element; face receives its IHTMLElement side.
ComPtr<IDispatch> CreateElement(ElementCore core, ElementFace** face);

}  // namespace standin
