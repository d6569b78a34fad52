// Windows sockets must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "loopback.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "handles.h"
#include "results.h"

namespace standin {

namespace {

constexpr char kLoopbackPrefix[] = "http://127.0.0.1:";
constexpr DWORD kRequestMs = 2000;
constexpr long kAcceptPollUs = 200000;
constexpr std::size_t kMaxRequest = 8192;
// A port nothing listens on (TCP port service multiplexer, unused).
constexpr int kClosedPort = 1;
constexpr DWORD kStopMs = 5000;  // longer than one request may take

// Sockets need winsock2.h before windows.h, so their owner lives here rather
// than with the other handle kinds.
struct SocketTraits {
  using pointer = SOCKET;
  static pointer Invalid() noexcept { return INVALID_SOCKET; }
  static bool IsValid(pointer s) noexcept { return s != INVALID_SOCKET; }
  static void Close(pointer s) noexcept { ::closesocket(s); }
};
using unique_socket = qp::unique_any<SocketTraits>;

struct Listener {
  unique_socket socket;
  int port = 0;
  qp::unique_handle thread;
};

std::mutex g_lock;
std::map<std::string, const std::vector<unsigned char>*> g_offered;  // "port path" -> bytes
std::vector<Listener*> g_listeners;
std::atomic<bool> g_stop{false};
bool g_started = false;

bool SplitUrl(const std::string& url, int* port, std::string* path) {
  if (url.rfind(kLoopbackPrefix, 0) != 0) return false;
  const std::size_t start = sizeof(kLoopbackPrefix) - 1;
  const std::size_t slash = url.find('/', start);
  const int number = std::atoi(url.substr(start, slash - start).c_str());
  if (number <= 0 || number > 65535) return false;
  *port = number;
  *path = slash == std::string::npos ? "/" : url.substr(slash);
  *path = path->substr(0, path->find('#'));
  return true;
}

std::string Key(int port, const std::string& path) { return std::to_string(port) + " " + path; }

const char* ContentType(const std::string& path) {
  const std::string lower = [&] {
    std::string s = path.substr(0, path.find('?'));
    for (char& c : s) c = static_cast<char>(::tolower(static_cast<unsigned char>(c)));
    return s;
  }();
  auto ends = [&](const char* ext) {
    const std::size_t n = std::strlen(ext);
    return lower.size() >= n && lower.compare(lower.size() - n, n, ext) == 0;
  };
  if (ends(".gif")) return "image/gif";
  if (ends(".swf")) return "application/x-shockwave-flash";
  if (ends(".png")) return "image/png";
  if (ends(".jpg") || ends(".jpeg")) return "image/jpeg";
  return "application/octet-stream";
}

void SendAll(SOCKET s, const char* data, std::size_t size) {
  while (size > 0) {
    const int sent = ::send(s, data, static_cast<int>(size), 0);
    if (sent <= 0) return;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
}

void Answer(SOCKET client, int port) {
  const DWORD timeout = kRequestMs;
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof(timeout));
  std::string request;
  char buffer[1024];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
    const int got = ::recv(client, buffer, sizeof(buffer), 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  // "GET /path HTTP/1.1" or, through a proxy, "GET http://host:port/path HTTP/1.1".
  std::string target;
  if (request.rfind("GET ", 0) == 0) target = request.substr(4, request.find(' ', 4) - 4);
  if (target.rfind("http://", 0) == 0) {
    const std::size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  const std::vector<unsigned char>* bytes = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    const auto it = g_offered.find(Key(port, target));
    if (it != g_offered.end()) bytes = it->second;
  }
  const std::string url = std::string(kLoopbackPrefix) + std::to_string(port) + target;
  Record("served").Str("url", url).Bool("found", bytes != nullptr).Emit();
  if (!bytes) {
    // Not downloaded yet: redirected to a closed port, so that the open fails
    // as it fails for an address missing from the cache. (A reset connection
    // is not enough: WinInet sometimes reads it as an empty answer.)
    const std::string head = "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(kClosedPort) +
                             "/\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    SendAll(client, head.data(), head.size());
    ::shutdown(client, SD_SEND);
    return;
  }
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: " + std::string(ContentType(target)) +
                           "\r\nContent-Length: " + std::to_string(bytes->size()) + "\r\nConnection: close\r\n\r\n";
  SendAll(client, head.data(), head.size());
  if (!bytes->empty()) SendAll(client, reinterpret_cast<const char*>(bytes->data()), bytes->size());
  ::shutdown(client, SD_SEND);
}

DWORD WINAPI Serve(void* arg) {
  auto* listener = static_cast<Listener*>(arg);
  while (!g_stop.load()) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener->socket.get(), &ready);
    timeval wait = {0, kAcceptPollUs};
    if (::select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
    unique_socket client(::accept(listener->socket.get(), nullptr, nullptr));
    if (!client) continue;
    Answer(client.get(), listener->port);
  }
  return 0;
}

bool Listen(int port) {
  auto listener = std::make_unique<Listener>();
  listener->port = port;
  listener->socket.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = ::htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
  if (!listener->socket ||
      ::bind(listener->socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      ::listen(listener->socket.get(), SOMAXCONN) != 0) {
    ReportError("loopback server", "cannot listen on 127.0.0.1:" + std::to_string(port) + " (error " +
                                       std::to_string(::WSAGetLastError()) + ")");
    return false;
  }
  listener->thread.reset(::CreateThread(nullptr, 0, Serve, listener.get(), 0, nullptr));
  if (!listener->thread) return false;
  g_listeners.push_back(listener.release());
  return true;
}

}  // namespace

bool LoopbackServer::Start(const Scenario& scenario) {
  std::vector<int> ports;
  for (const auto& [name, page] : scenario.pages) {
    for (const ElementDesc& e : page.elements) {
      int port = 0;
      std::string path;
      if (e.isDownloaded && SplitUrl(e.src, &port, &path)) {
        bool known = false;
        for (int p : ports) known = known || p == port;
        if (!known) ports.push_back(port);
      }
    }
  }
  if (ports.empty()) return true;
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    ReportError("loopback server", "WSAStartup failed");
    return false;
  }
  g_started = true;
  bool ok = true;
  for (int port : ports) ok = Listen(port) && ok;
  return ok;
}

void LoopbackServer::Stop() {
  g_stop = true;
  for (Listener* listener : g_listeners) {
    // A thread that did not end keeps its listener; the process ends next.
    if (::WaitForSingleObject(listener->thread.get(), kStopMs) != WAIT_OBJECT_0) continue;
    delete listener;
  }
  g_listeners.clear();
  if (g_started) ::WSACleanup();
  g_started = false;
}

void LoopbackServer::Offer(const std::string& url, const std::vector<unsigned char>* bytes) {
  int port = 0;
  std::string path;
  if (!SplitUrl(url, &port, &path)) return;
  std::lock_guard<std::mutex> lock(g_lock);
  g_offered[Key(port, path)] = bytes;
}

}  // namespace standin
