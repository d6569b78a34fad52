// The scenario a run plays: pages (elements, frames, the page's own event
// handlers, downloaded images) and a timeline of user and page actions.
// Written by hand as JSON; standin/README.md describes the format.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// A failure to read or check the scenario; what() names the file and the place.
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a page script does when it runs: ask for a new window.
struct Action {
  bool present = false;
  std::string open;  // address of the new window
  std::string page;  // page shown in it; empty: the page with that address, else a blank page
};

enum class Kind { Text, Link, Img, Embed, Object, Marquee, Frame, IFrame };

struct ElementDesc {
  std::string id;
  Kind kind = Kind::Text;
  std::string src;         // img, embed
  std::string href;        // link
  std::string target;      // link: a target window ("_blank") asks for a new window
  std::string page;        // frame, iframe: the page inside; link: the page the address shows
  bool flash = false;      // object: the control is the Flash stand-in
  std::string visibility;  // the style's initial visibility ("" = inherit)
  bool running = true;     // marquee
  int width = 0;
  int height = 0;
  Action onclick;
  std::vector<unsigned char> downloaded;  // bytes stored in the download cache under src
  bool isDownloaded = false;
  std::string where;
};

struct PageDesc {
  std::string name;
  std::string url;
  bool hasOnload = false;  // the page sets its own onload handler
  Action onload;           // what that handler does
  Action onunload;         // the page's own onunload handler
  std::vector<ElementDesc> elements;
  std::string where;
};

enum class CloseOrder {
  DestroyFirst,  // destroy the frame window, then SetSite(NULL), then the last Release
  UnsiteFirst,   // SetSite(NULL), then destroy the frame window, then the last Release
};

struct Step {
  std::string what;  // the "do" field
  std::string where;
  int window = 1;
  std::string page;
  std::string frame;    // path of frame ids, "outer/inner"
  std::string element;  // path: frame ids, then the element id
  std::string key;      // "N" or "Enter"
  std::string hold;     // "", "shift" or "ctrl"
  std::string button = "left";
  bool twice = false;  // click: a double click
  std::string url;
  std::string from = "script";  // popup: "script" or "timer"
  std::string itemText;
  int itemIndex = -1;
  int delayMs = 0;
  int ms = 0;
  bool refuseEvents = false;  // open: the browser's event connection point takes no sink
  bool hasAt = false;
  int atX = 0;
  int atY = 0;
  std::optional<CloseOrder> order;
};

struct Scenario {
  std::string file;
  unsigned timeLimitMs = 60000;
  CloseOrder closeOrder = CloseOrder::DestroyFirst;
  std::vector<std::string> menu;
  std::map<std::string, PageDesc> pages;
  std::vector<Step> steps;

  const PageDesc* FindPage(const std::string& name) const;
  const PageDesc* FindPageByUrl(const std::string& url) const;
  // "file: place: message", the form of every scenario error.
  std::string Place(const std::string& where, const std::string& message) const;
};

// Reads and checks a scenario file; raises ScenarioError.
Scenario LoadScenario(const std::string& path);

const char* KindName(Kind kind);

}  // namespace standin
