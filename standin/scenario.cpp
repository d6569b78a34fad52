#include "scenario.h"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace standin {

namespace {

using Json = nlohmann::json;

constexpr unsigned kDefaultTimeLimitMs = 60000;
constexpr unsigned kMaxTimeLimitMs = 600000;
constexpr int kMaxWaitMs = 600000;
constexpr int kMaxBoxSide = 2000;

// Reads one JSON object of the scenario: every field is looked up by name,
// and a field the object does not know is an error (a typo must not be
// silently ignored in a hand-written file).
class Fields {
 public:
  Fields(const Scenario& scenario, const Json& object, std::string where)
      : scenario_(scenario), object_(object), where_(std::move(where)) {
    if (!object_.is_object()) Fail(where_, "expected an object");
  }

  const std::string& where() const { return where_; }
  const Scenario& scenario() const { return scenario_; }
  std::string At(const std::string& key) const { return where_.empty() ? key : where_ + "." + key; }

  bool Has(const std::string& key) {
    seen_.insert(key);
    return object_.contains(key);
  }

  const Json& Get(const std::string& key) {
    seen_.insert(key);
    if (!object_.contains(key)) Fail(where_, "missing field \"" + key + "\"");
    return object_.at(key);
  }

  std::string String(const std::string& key) {
    const Json& v = Get(key);
    if (!v.is_string()) Fail(At(key), "expected a string");
    return v.get<std::string>();
  }

  std::string String(const std::string& key, const std::string& fallback) {
    return Has(key) ? String(key) : fallback;
  }

  long long Integer(const std::string& key, long long low, long long high) {
    const Json& v = Get(key);
    if (!v.is_number_integer()) Fail(At(key), "expected a whole number");
    const long long n = v.get<long long>();
    if (n < low || n > high) {
      Fail(At(key), "expected a number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return n;
  }

  bool Boolean(const std::string& key) {
    const Json& v = Get(key);
    if (!v.is_boolean()) Fail(At(key), "expected true or false");
    return v.get<bool>();
  }

  std::string OneOf(const std::string& key, std::initializer_list<const char*> allowed, const std::string& fallback) {
    if (!Has(key)) return fallback;
    const std::string value = String(key);
    std::string list;
    for (const char* a : allowed) {
      if (value == a) return value;
      list += list.empty() ? "" : ", ";
      list += std::string("\"") + a + "\"";
    }
    Fail(At(key), "\"" + value + "\" is not one of " + list);
  }

  // Call after reading: every field of the object must have been asked for.
  void RejectUnknown() const {
    for (auto it = object_.begin(); it != object_.end(); ++it) {
      if (!seen_.count(it.key())) Fail(At(it.key()), "unknown field");
    }
  }

  [[noreturn]] void Fail(const std::string& where, const std::string& message) const {
    throw ScenarioError(scenario_.Place(where, message));
  }

 private:
  const Scenario& scenario_;
  const Json& object_;
  std::string where_;
  std::set<std::string> seen_;
};

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsAbsolute(const std::string& path) {
  return (path.size() > 1 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// An action: true (a handler of the page's own that only runs) or
// {"open": address, "page": name} (a handler that asks for a new window).
Action ReadAction(Fields& parent, const std::string& key) {
  Action action;
  const Json& v = parent.Get(key);
  action.present = true;
  if (v.is_boolean()) {
    if (!v.get<bool>()) parent.Fail(parent.At(key), "use true or an object with \"open\"");
    return action;
  }
  Fields f(parent.scenario(), v, parent.At(key));
  action.open = f.String("open");
  action.page = f.String("page", "");
  f.RejectUnknown();
  return action;
}

Kind ReadKind(Fields& f) {
  static const std::pair<const char*, Kind> kinds[] = {
      {"text", Kind::Text},     {"link", Kind::Link},       {"img", Kind::Img},     {"embed", Kind::Embed},
      {"object", Kind::Object}, {"marquee", Kind::Marquee}, {"frame", Kind::Frame}, {"iframe", Kind::IFrame}};
  const std::string name = f.String("kind");
  for (const auto& [text, kind] : kinds) {
    if (name == text) return kind;
  }
  f.Fail(f.At("kind"), "unknown element kind \"" + name + "\" (text, link, img, embed, object, marquee, frame, iframe)");
}

std::vector<unsigned char> ReadFileBytes(Fields& f, const std::string& folder, const std::string& name) {
  const std::string path = IsAbsolute(name) ? name : folder + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) f.Fail(f.At("downloaded"), "cannot read the file \"" + path + "\"");
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ElementDesc ReadElement(const Json& json, const std::string& where, const std::string& folder, const Scenario& sc) {
  Fields f(sc, json, where);
  ElementDesc e;
  e.where = where;
  e.id = f.String("id");
  if (e.id.empty() || e.id.find('/') != std::string::npos) f.Fail(f.At("id"), "an id is a non-empty name without '/'");
  e.kind = ReadKind(f);
  const bool hasSrc = e.kind == Kind::Img || e.kind == Kind::Embed;
  if (hasSrc) e.src = f.String("src");
  if (e.kind == Kind::Link) {
    e.href = f.String("href");
    e.target = f.String("target", "");
  }
  if (e.kind == Kind::Frame || e.kind == Kind::IFrame || e.kind == Kind::Link) {
    e.page = e.kind == Kind::Link ? f.String("page", "") : f.String("page");
  }
  if (e.kind == Kind::Object) e.flash = f.OneOf("control", {"flash", "other"}, "other") == "flash";
  if (e.kind == Kind::Marquee && f.Has("running")) e.running = f.Boolean("running");
  e.visibility = f.OneOf("visibility", {"visible", "hidden", "inherit"}, "");
  if (e.visibility == "inherit") e.visibility.clear();
  if (f.Has("size")) {
    const Json& size = f.Get("size");
    if (!size.is_array() || size.size() != 2 || !size[0].is_number_integer() || !size[1].is_number_integer() ||
        size[0].get<int>() < 1 || size[1].get<int>() < 1 || size[0].get<int>() > kMaxBoxSide ||
        size[1].get<int>() > kMaxBoxSide) {
      f.Fail(f.At("size"), "expected [width, height] in pixels, 1 to " + std::to_string(kMaxBoxSide));
    }
    e.width = size[0].get<int>();
    e.height = size[1].get<int>();
  }
  if (f.Has("onclick")) e.onclick = ReadAction(f, "onclick");
  if (hasSrc && f.Has("downloaded")) {
    e.downloaded = ReadFileBytes(f, folder, f.String("downloaded"));
    e.isDownloaded = true;
  }
  f.RejectUnknown();
  return e;
}

PageDesc ReadPage(const std::string& name, const Json& json, const std::string& folder, const Scenario& sc) {
  const std::string where = "pages." + name;
  Fields f(sc, json, where);
  PageDesc page;
  page.name = name;
  page.where = where;
  page.url = f.String("url", "http://" + name + ".standin.test/");
  if (f.Has("onload")) {
    page.onload = ReadAction(f, "onload");
    page.hasOnload = true;
  }
  if (f.Has("onunload")) page.onunload = ReadAction(f, "onunload");
  if (f.Has("elements")) {
    const Json& list = f.Get("elements");
    if (!list.is_array()) f.Fail(f.At("elements"), "expected a list of elements");
    std::set<std::string> ids;
    for (std::size_t i = 0; i < list.size(); ++i) {
      const std::string at = f.At("elements") + "[" + std::to_string(i) + "]";
      page.elements.push_back(ReadElement(list[i], at, folder, sc));
      if (!ids.insert(page.elements.back().id).second) {
        f.Fail(at + ".id", "the id \"" + page.elements.back().id + "\" is used twice in this page");
      }
    }
  }
  f.RejectUnknown();
  return page;
}

void CheckPageName(const Scenario& sc, const std::string& where, const std::string& name) {
  if (!name.empty() && !sc.FindPage(name)) throw ScenarioError(sc.Place(where, "no page named \"" + name + "\""));
}

// Frames must name existing pages and must not contain themselves.
void CheckFrames(const Scenario& sc, const PageDesc& page, std::vector<std::string>& open) {
  open.push_back(page.name);
  for (const ElementDesc& e : page.elements) {
    CheckPageName(sc, e.where + ".page", e.page);
    if (e.onclick.present) CheckPageName(sc, e.where + ".onclick.page", e.onclick.page);
    if (e.kind != Kind::Frame && e.kind != Kind::IFrame) continue;
    for (const std::string& name : open) {
      if (name == e.page) throw ScenarioError(sc.Place(e.where + ".page", "the page \"" + e.page + "\" would contain itself"));
    }
    CheckFrames(sc, *sc.FindPage(e.page), open);
  }
  open.pop_back();
}

// True when the path ("frame/.../element") names an element of the page or of its frames.
bool PathInPage(const Scenario& sc, const PageDesc& page, const std::string& path, bool wantFrame) {
  const auto slash = path.find('/');
  const std::string head = path.substr(0, slash);
  for (const ElementDesc& e : page.elements) {
    if (e.id != head) continue;
    const bool isFrame = e.kind == Kind::Frame || e.kind == Kind::IFrame;
    if (slash == std::string::npos) return !wantFrame || isFrame;
    return isFrame && PathInPage(sc, *sc.FindPage(e.page), path.substr(slash + 1), wantFrame);
  }
  return false;
}

void CheckPath(const Scenario& sc, const std::string& where, const std::string& path, bool wantFrame) {
  for (const auto& [name, page] : sc.pages) {
    if (PathInPage(sc, page, path, wantFrame)) return;
  }
  throw ScenarioError(sc.Place(where, std::string("no page has ") + (wantFrame ? "a frame" : "an element") + " \"" +
                                          path + "\""));
}

// "at": [x, y], a point in the page's client coordinates.
void ReadPoint(Fields& f, Step& s) {
  const Json& at = f.Get("at");
  if (!at.is_array() || at.size() != 2 || !at[0].is_number_integer() || !at[1].is_number_integer()) {
    f.Fail(f.At("at"), "expected [x, y] in the page's client coordinates");
  }
  s.hasAt = true;
  s.atX = at[0].get<int>();
  s.atY = at[1].get<int>();
}

Step ReadStep(const Json& json, const std::string& where, const Scenario& sc) {
  Fields f(sc, json, where);
  Step s;
  s.where = where;
  s.what = f.OneOf("do", {"open", "load", "click", "key", "move", "popup", "menu", "toolbar", "close", "wait",
                          "waitClosed", "report"},
                   "");
  if (s.what.empty()) f.Fail(where, "missing field \"do\"");
  const bool windowed = s.what != "open" && s.what != "wait" && s.what != "report";
  if (windowed && f.Has("window")) s.window = static_cast<int>(f.Integer("window", 1, 1000));
  const bool holds = s.what == "click" || s.what == "key" || s.what == "popup" || s.what == "close";
  if (holds) s.hold = f.OneOf("hold", {"shift", "ctrl"}, "");

  if (s.what == "open" || s.what == "load") {
    s.page = f.String("page");
    CheckPageName(sc, f.At("page"), s.page);
    if (s.what == "open" && f.Has("refuseEvents")) s.refuseEvents = f.Boolean("refuseEvents");
    if (s.what == "load" && f.Has("frame")) {
      s.frame = f.String("frame");
      CheckPath(sc, f.At("frame"), s.frame, true);
    }
  } else if (s.what == "click") {
    if (f.Has("at")) {
      ReadPoint(f, s);
    } else {
      s.element = f.String("element");
      CheckPath(sc, f.At("element"), s.element, false);
    }
    s.button = f.OneOf("button", {"left", "right"}, "left");
    if (f.Has("double")) s.twice = f.Boolean("double");
  } else if (s.what == "key") {
    s.key = f.OneOf("key", {"N", "Enter"}, "");
    if (s.key.empty()) f.Fail(where, "missing field \"key\"");
  } else if (s.what == "move") {
    if (f.Has("element")) {
      s.element = f.String("element");
      CheckPath(sc, f.At("element"), s.element, false);
    } else if (f.Has("at")) {
      ReadPoint(f, s);
    } else {
      f.Fail(where, "a move needs \"element\" or \"at\"");
    }
  } else if (s.what == "popup") {
    s.page = f.String("page", "");
    CheckPageName(sc, f.At("page"), s.page);
    const PageDesc* page = s.page.empty() ? nullptr : sc.FindPage(s.page);
    s.url = f.String("url", page ? page->url : std::string("about:blank"));
    if (f.Has("frame")) {
      s.frame = f.String("frame");
      CheckPath(sc, f.At("frame"), s.frame, true);
    }
    s.from = f.OneOf("from", {"script", "timer"}, "script");
    if (s.from == "timer") s.delayMs = static_cast<int>(f.Integer("delayMs", 0, kMaxWaitMs));
  } else if (s.what == "menu") {
    const Json& item = f.Get("item");
    if (item.is_number_integer()) {
      s.itemIndex = item.get<int>();
      if (s.itemIndex < 0 || s.itemIndex >= static_cast<int>(sc.menu.size())) {
        f.Fail(f.At("item"), "the menu has items 0 to " + std::to_string(sc.menu.size() - 1));
      }
    } else if (item.is_string()) {
      s.itemText = item.get<std::string>();
      for (std::size_t i = 0; i < sc.menu.size(); ++i) {
        if (sc.menu[i] == s.itemText) s.itemIndex = static_cast<int>(i);
      }
      if (s.itemIndex < 0) f.Fail(f.At("item"), "the menu has no item \"" + s.itemText + "\"");
    } else {
      f.Fail(f.At("item"), "expected the item's position or its text");
    }
    s.itemText = sc.menu[static_cast<std::size_t>(s.itemIndex)];
  } else if (s.what == "close") {
    const std::string order = f.OneOf("order", {"destroy-first", "unsite-first"}, "");
    if (!order.empty()) s.order = order == "destroy-first" ? CloseOrder::DestroyFirst : CloseOrder::UnsiteFirst;
  } else if (s.what == "wait" || s.what == "waitClosed") {
    s.ms = static_cast<int>(f.Integer("ms", 0, kMaxWaitMs));
  }
  f.RejectUnknown();
  return s;
}

}  // namespace

const PageDesc* Scenario::FindPage(const std::string& name) const {
  const auto it = pages.find(name);
  return it == pages.end() ? nullptr : &it->second;
}

const PageDesc* Scenario::FindPageByUrl(const std::string& url) const {
  for (const auto& [name, page] : pages) {
    if (page.url == url) return &page;
  }
  return nullptr;
}

std::string Scenario::Place(const std::string& where, const std::string& message) const {
  return file + ": " + (where.empty() ? std::string("top level") : where) + ": " + message;
}

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Text: return "text";
    case Kind::Link: return "link";
    case Kind::Img: return "img";
    case Kind::Embed: return "embed";
    case Kind::Object: return "object";
    case Kind::Marquee: return "marquee";
    case Kind::Frame: return "frame";
    case Kind::IFrame: return "iframe";
  }
  return "?";
}

Scenario LoadScenario(const std::string& path) {
  Scenario sc;
  sc.file = path;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ScenarioError(path + ": cannot open the file");
  std::stringstream text;
  text << in.rdbuf();

  Json root;
  try {
    root = Json::parse(text.str());
  } catch (const Json::parse_error& e) {
    // The parser's message carries the line and column.
    throw ScenarioError(path + ": malformed JSON: " + e.what());
  }

  Fields f(sc, root, "");
  if (f.Has("timeLimitMs")) sc.timeLimitMs = static_cast<unsigned>(f.Integer("timeLimitMs", 1000, kMaxTimeLimitMs));
  else sc.timeLimitMs = kDefaultTimeLimitMs;
  sc.closeOrder = f.OneOf("closeOrder", {"destroy-first", "unsite-first"}, "destroy-first") == "destroy-first"
                      ? CloseOrder::DestroyFirst
                      : CloseOrder::UnsiteFirst;
  sc.menu = {"Back", "Forward", "Open in New Window", "Properties"};
  if (f.Has("menu")) {
    const Json& menu = f.Get("menu");
    if (!menu.is_array() || menu.empty()) f.Fail("menu", "expected a non-empty list of item texts");
    sc.menu.clear();
    for (const Json& item : menu) {
      if (!item.is_string()) f.Fail("menu", "expected a non-empty list of item texts");
      sc.menu.push_back(item.get<std::string>());
    }
  }

  const std::string folder = FolderOf(path);
  const Json& pages = f.Get("pages");
  if (!pages.is_object() || pages.empty()) f.Fail("pages", "expected an object with at least one page");
  for (auto it = pages.begin(); it != pages.end(); ++it) {
    sc.pages.emplace(it.key(), ReadPage(it.key(), it.value(), folder, sc));
  }
  for (const auto& [name, page] : sc.pages) {
    if (page.onload.present) CheckPageName(sc, page.where + ".onload.page", page.onload.page);
    if (page.onunload.present) CheckPageName(sc, page.where + ".onunload.page", page.onunload.page);
    std::vector<std::string> open;
    CheckFrames(sc, page, open);
  }

  const Json& timeline = f.Get("timeline");
  if (!timeline.is_array()) f.Fail("timeline", "expected a list of steps");
  for (std::size_t i = 0; i < timeline.size(); ++i) {
    sc.steps.push_back(ReadStep(timeline[i], "timeline[" + std::to_string(i) + "]", sc));
  }
  f.RejectUnknown();
  return sc;
}

}  // namespace standin
