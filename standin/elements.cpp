#include "elements.h"

namespace standin {

// {D27CDB6C-AE6D-11CF-96B8-444553540000}
const IID kIidShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

// The stand-in's own dispatch ids of the Flash methods it serves.
constexpr DISPID kDispStopPlay = 1;
constexpr DISPID kDispRewind = 2;
constexpr DISPID kDispPlay = 3;

struct FlashMethod {
  const wchar_t* name;
  DISPID id;
};
constexpr FlashMethod kFlashMethods[] = {{L"StopPlay", kDispStopPlay}, {L"Rewind", kDispRewind}, {L"Play", kDispPlay}};

const wchar_t* TagName(Kind kind) {
  switch (kind) {
    case Kind::Text: return L"DIV";
    case Kind::Link: return L"A";
    case Kind::Img: return L"IMG";
    case Kind::Embed: return L"EMBED";
    case Kind::Object: return L"OBJECT";
    case Kind::Marquee: return L"MARQUEE";
    case Kind::Frame: return L"FRAME";
    case Kind::IFrame: return L"IFRAME";
  }
  return L"DIV";
}

void Repaint(HWND view, const RECT& box) {
  if (view) ::InvalidateRect(view, &box, TRUE);
}

}  // namespace

// --- Style -------------------------------------------------------------------

Style::Style(int windowId, std::string path, HWND view, RECT box, std::wstring visibility)
    : windowId_(windowId), path_(std::move(path)), view_(view), box_(box), visibility_(std::move(visibility)) {}

const QITAB* Style::QiTable() {
  static const QITAB table[] = {QITABENT(Style, IHTMLStyle), QITABENTMULTI(Style, IDispatch, IHTMLStyle), {}};
  return table;
}

STDMETHODIMP Style::put_visibility(BSTR v) {
  STANDIN_COM_BEGIN
  visibility_ = v ? std::wstring(v, ::SysStringLen(v)) : std::wstring();
  Record("visibility").Int("window", windowId_).Str("element", path_).Str("value", visibility_).Emit();
  Repaint(view_, box_);
  return S_OK;
  STANDIN_COM_END
}

STDMETHODIMP Style::get_visibility(BSTR* p) { return CopyBstr(visibility_, p); }

// --- Elements ----------------------------------------------------------------

STDMETHODIMP ElementFace::get_style(IHTMLStyle** p) { return HandOut<IHTMLStyle>(core.style.Get(), p); }

STDMETHODIMP ElementFace::get_id(BSTR* p) {
  STANDIN_COM_BEGIN
  return CopyBstr(core.desc ? Widen(core.desc->id) : std::wstring(), p);
  STANDIN_COM_END
}

STDMETHODIMP ElementFace::get_tagName(BSTR* p) {
  STANDIN_COM_BEGIN
  return CopyBstr(core.desc ? TagName(core.desc->kind) : L"BODY", p);
  STANDIN_COM_END
}

void ElementFace::Describe(Record& record) {
  record.Str("kind", core.desc ? KindName(core.desc->kind) : "frame");
  record.Str("visibility", core.style ? core.style->visibility() : std::wstring());
}

const QITAB* TextElement::QiTable() {
  static const QITAB table[] = {QITABENT(TextElement, IHTMLElement),
                                QITABENTMULTI(TextElement, IDispatch, IHTMLElement), {}};
  return table;
}

const QITAB* ImgElement::QiTable() {
  static const QITAB table[] = {QITABENT(ImgElement, IHTMLElement), QITABENT(ImgElement, IHTMLImgElement),
                                QITABENTMULTI(ImgElement, IDispatch, IHTMLElement), {}};
  return table;
}

STDMETHODIMP ImgElement::get_src(BSTR* p) {
  STANDIN_COM_BEGIN
  return CopyBstr(Widen(core.desc->src), p);
  STANDIN_COM_END
}

const QITAB* EmbedElement::QiTable() {
  static const QITAB table[] = {QITABENT(EmbedElement, IHTMLElement), QITABENT(EmbedElement, IHTMLEmbedElement),
                                QITABENTMULTI(EmbedElement, IDispatch, IHTMLElement), {}};
  return table;
}

STDMETHODIMP EmbedElement::get_src(BSTR* p) {
  STANDIN_COM_BEGIN
  return CopyBstr(Widen(core.desc->src), p);
  STANDIN_COM_END
}

const QITAB* ObjectElement::QiTable() {
  static const QITAB table[] = {QITABENT(ObjectElement, IHTMLElement), QITABENT(ObjectElement, IHTMLObjectElement),
                                QITABENTMULTI(ObjectElement, IDispatch, IHTMLElement), {}};
  return table;
}

STDMETHODIMP ObjectElement::get_object(IDispatch** p) { return HandOut(control_.Get(), p); }

void ObjectElement::Describe(Record& record) {
  ElementFace::Describe(record);
  if (core.desc->flash) {
    const auto* flash = static_cast<FlashControl*>(control_.Get());
    record.Str("flash", flash->state()).Int("frame", flash->frame());
  }
}

const QITAB* MarqueeElement::QiTable() {
  static const QITAB table[] = {QITABENT(MarqueeElement, IHTMLElement),
                                QITABENT(MarqueeElement, IHTMLMarqueeElement),
                                QITABENTMULTI(MarqueeElement, IDispatch, IHTMLElement), {}};
  return table;
}

void MarqueeElement::Set(bool running, const char* call) {
  running_ = running;
  Record("marquee")
      .Int("window", core.windowId)
      .Str("element", core.path)
      .Str("call", call)
      .Str("state", running ? "running" : "stopped")
      .Emit();
  Repaint(core.view, core.box);
}

STDMETHODIMP MarqueeElement::start() {
  STANDIN_COM_BEGIN
  Set(true, "start");
  return S_OK;
  STANDIN_COM_END
}

STDMETHODIMP MarqueeElement::stop() {
  STANDIN_COM_BEGIN
  Set(false, "stop");
  return S_OK;
  STANDIN_COM_END
}

void MarqueeElement::Describe(Record& record) {
  ElementFace::Describe(record);
  record.Str("marquee", running_ ? "running" : "stopped");
}

// --- Controls ----------------------------------------------------------------

const QITAB* FlashControl::QiTable() {
  static const QITAB table[] = {QITABENT(FlashControl, IDispatch),
                                QITABENTMULTI2(FlashControl, kIidShockwaveFlash, IDispatch), {}};
  return table;
}

STDMETHODIMP FlashControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP FlashControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP FlashControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    // Names of arguments (i > 0) are not known: these methods take none.
    if (i == 0 && names[i]) {
      for (const FlashMethod& m : kFlashMethods) {
        if (::lstrcmpiW(names[i], m.name) == 0) ids[i] = m.id;
      }
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

STDMETHODIMP FlashControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO*, UINT*) {
  STANDIN_COM_BEGIN
  const wchar_t* name = nullptr;
  for (const FlashMethod& m : kFlashMethods) {
    if (m.id == id) name = m.name;
  }
  if (!name) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (params && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
  if (id == kDispStopPlay) playing_ = false;
  if (id == kDispRewind) frame_ = 0;
  if (id == kDispPlay) playing_ = true;
  if (result) ::VariantInit(result);
  Record("flash")
      .Int("window", windowId_)
      .Str("element", path_)
      .Str("call", std::wstring(name))
      .Str("state", state())
      .Emit();
  Repaint(view_, box_);
  return S_OK;
  STANDIN_COM_END
}

const QITAB* OtherControl::QiTable() {
  static const QITAB table[] = {QITABENT(OtherControl, IDispatch), {}};
  return table;
}

// --- Collection and enumerator -------------------------------------------------

const QITAB* Collection::QiTable() {
  static const QITAB table[] = {QITABENT(Collection, IHTMLElementCollection),
                                QITABENTMULTI(Collection, IDispatch, IHTMLElementCollection), {}};
  return table;
}

STDMETHODIMP Collection::get_length(LONG* p) {
  if (!p) return E_POINTER;
  *p = static_cast<LONG>(items_.size());
  return S_OK;
}

STDMETHODIMP Collection::item(VARIANT name, VARIANT index, IDispatch** pdisp) {
  STANDIN_COM_BEGIN
  (void)index;  // with a position or a unique id there is never a second match to pick
  if (!pdisp) return E_POINTER;
  *pdisp = nullptr;
  if (name.vt == VT_BSTR) {
    const std::wstring id = name.bstrVal ? std::wstring(name.bstrVal, ::SysStringLen(name.bstrVal)) : L"";
    for (std::size_t i = 0; i < ids_.size(); ++i) {
      if (ids_[i] == id) return HandOut(items_[i].Get(), pdisp);
    }
    return S_OK;
  }
  unique_variant position;
  if (FAILED(::VariantChangeType(position.get(), &name, 0, VT_I4))) return E_INVALIDARG;
  const LONG i = position.get()->lVal;
  if (i < 0 || static_cast<std::size_t>(i) >= items_.size()) return S_OK;
  return HandOut(items_[static_cast<std::size_t>(i)].Get(), pdisp);
  STANDIN_COM_END
}

const QITAB* EnumUnknown::QiTable() {
  static const QITAB table[] = {QITABENT(EnumUnknown, IEnumUnknown), {}};
  return table;
}

STDMETHODIMP EnumUnknown::Next(ULONG count, IUnknown** out, ULONG* fetched) {
  if (!out) return E_POINTER;
  if (!fetched && count != 1) return E_INVALIDARG;
  ULONG n = 0;
  while (n < count && next_ < items_.size()) {
    out[n] = items_[next_].Get();
    out[n]->AddRef();
    ++n;
    ++next_;
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

STDMETHODIMP EnumUnknown::Skip(ULONG count) {
  const ULONG left = static_cast<ULONG>(items_.size()) - next_;
  next_ += count < left ? count : left;
  return count <= left ? S_OK : S_FALSE;
}

STDMETHODIMP EnumUnknown::Reset() {
  next_ = 0;
  return S_OK;
}

STDMETHODIMP EnumUnknown::Clone(IEnumUnknown** out) {
  STANDIN_COM_BEGIN
  if (!out) return E_POINTER;
  *out = MakeObject<EnumUnknown>(items_, next_).Detach();
  return S_OK;
  STANDIN_COM_END
}

// --- Script handler -------------------------------------------------------------

const QITAB* ScriptHandler::QiTable() {
  static const QITAB table[] = {QITABENT(ScriptHandler, IDispatch), {}};
  return table;
}

STDMETHODIMP ScriptHandler::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP ScriptHandler::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP ScriptHandler::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  if (ids) {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  }
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP ScriptHandler::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  STANDIN_COM_BEGIN
  if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
  if (result) ::VariantInit(result);
  // Kept alive while it runs: the page's script may replace the handler.
  ComPtr<ScriptHandler> self(this);
  const std::function<void()> run = run_;
  if (run) run();
  return S_OK;
  STANDIN_COM_END
}

// --- Factory ----------------------------------------------------------------------

ComPtr<IDispatch> CreateElement(ElementCore core, ElementFace** face) {
  ComPtr<IDispatch> item;
  switch (core.desc->kind) {
    case Kind::Img: {
      auto e = MakeObject<ImgElement>(std::move(core));
      *face = e.Get();
      item = static_cast<IHTMLElement*>(e.Get());
      break;
    }
    case Kind::Embed: {
      auto e = MakeObject<EmbedElement>(std::move(core));
      *face = e.Get();
      item = static_cast<IHTMLElement*>(e.Get());
      break;
    }
    case Kind::Object: {
      ComPtr<IDispatch> control;
      if (core.desc->flash) {
        control = MakeObject<FlashControl>(core.windowId, core.path, core.view, core.box);
      } else {
        control = MakeObject<OtherControl>();
      }
      auto e = MakeObject<ObjectElement>(std::move(core), control);
      *face = e.Get();
      item = static_cast<IHTMLElement*>(e.Get());
      break;
    }
    case Kind::Marquee: {
      auto e = MakeObject<MarqueeElement>(std::move(core));
      *face = e.Get();
      item = static_cast<IHTMLElement*>(e.Get());
      break;
    }
    default: {
      auto e = MakeObject<TextElement>(std::move(core));
      *face = e.Get();
      item = static_cast<IHTMLElement*>(e.Get());
      break;
    }
  }
  return item;
}

}  // namespace standin
