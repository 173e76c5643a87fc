#include "LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kro::test {
namespace {

constexpr int kPollMilliseconds = 50;
// A request head larger than this is not one the tests' clients send.
constexpr size_t kMaxHeadBytes = 16384;

bool ReadFile(const std::string& path, std::string& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// The value of header `name` (lower case) in a request head, or "".
std::string HeaderValue(const std::string& head, const std::string& name) {
  std::istringstream lines(head);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key != name) continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of("\r ") + 1);
    return value;
  }
  return "";
}

// The range [first, last] of "bytes=a-b" or "bytes=a-" inside `size`; false
// for any other form or a range that starts past the end.
bool ParseRange(const std::string& value, size_t size, size_t& first, size_t& last) {
  unsigned long long a = 0;
  unsigned long long b = 0;
  char dash = 0;
  const int fields = std::sscanf(value.c_str(), "bytes=%llu%c%llu", &a, &dash, &b);
  if (fields < 2 || dash != '-' || a >= size) return false;
  first = a;
  last = fields == 3 && b < size ? b : size - 1;
  return first <= last;
}

std::string Status(const char* status, size_t length) {
  return std::string("HTTP/1.1 ") + status + "\r\nAccept-Ranges: bytes\r\nConnection: close\r\nContent-Length: " +
         std::to_string(length) + "\r\n";
}

bool SendAll(int client, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return false;
    sent += static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

LocalHttpServer::LocalHttpServer(std::string directory) : directory_(std::move(directory)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener_);
    listener_ = -1;
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string LocalHttpServer::Url(const std::string& name) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/" + name;
}

void LocalHttpServer::Serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (::poll(&waiting, 1, kPollMilliseconds) <= 0) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Answer(client);
    ::close(client);
  }
}

void LocalHttpServer::Answer(int client) {
  std::string head;
  char chunk[4096];
  // Bounded by the head's size limit, and by the poll timeout when the
  // client sends nothing more.
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < kMaxHeadBytes && !stopping_) {
    pollfd waiting{client, POLLIN, 0};
    if (::poll(&waiting, 1, kPollMilliseconds * 20) <= 0) return;
    const ssize_t got = ::recv(client, chunk, sizeof chunk, 0);
    if (got <= 0) return;
    head.append(chunk, static_cast<size_t>(got));
  }
  ++requests_;
  SendAll(client, ResponseTo(head));
}

std::string LocalHttpServer::ResponseTo(const std::string& head) {
  char method[16] = {};
  char target[1024] = {};
  std::string contents;
  if (std::sscanf(head.c_str(), "%15s %1023s", method, target) != 2 || target[0] != '/' ||
      std::string(target).find("..") != std::string::npos || !ReadFile(directory_ + target, contents)) {
    return Status("404 Not Found", 0) + "\r\n";
  }
  const bool body = std::string(method) == "GET";
  const std::string range = HeaderValue(head, "range");
  size_t first = 0;
  size_t last = contents.empty() ? 0 : contents.size() - 1;
  std::string response;
  if (range.empty()) {
    response = Status("200 OK", contents.size()) + "\r\n";
  } else if (ParseRange(range, contents.size(), first, last)) {
    response = Status("206 Partial Content", last - first + 1) + "Content-Range: bytes " + std::to_string(first) +
               "-" + std::to_string(last) + "/" + std::to_string(contents.size()) + "\r\n\r\n";
  } else {
    return Status("416 Range Not Satisfiable", 0) + "Content-Range: bytes */" + std::to_string(contents.size()) +
           "\r\n\r\n";
  }
  if (body && !contents.empty()) {
    const std::string served = contents.substr(first, last - first + 1);
    bytes_ += served.size();
    response += served;
  }
  return response;
}

}  // namespace kro::test
