// A small HTTP server for tests on 127.0.0.1: it serves the files of one
// directory to HEAD and GET, with single byte ranges ("Range: bytes=a-b" or
// "bytes=a-"), one request at a time on its own thread, and counts the
// requests and the body bytes it served. Every response closes its
// connection, so a count of requests is a count of round trips.
#ifndef KRO_TESTS_GDAL_LOCALHTTPSERVER_H
#define KRO_TESTS_GDAL_LOCALHTTPSERVER_H

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace kro::test {

class LocalHttpServer {
 public:
  explicit LocalHttpServer(std::string directory);
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  // Whether it listens; false when no socket could be had.
  bool Started() const { return listener_ >= 0; }
  // "http://127.0.0.1:<port>/<name>".
  std::string Url(const std::string& name) const;
  uint64_t Requests() const { return requests_.load(); }
  uint64_t BytesServed() const { return bytes_.load(); }
  void ResetCounts() {
    requests_ = 0;
    bytes_ = 0;
  }

 private:
  void Serve();
  void Answer(int client);
  // The response to one request head, body included.
  std::string ResponseTo(const std::string& head);

  std::string directory_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<uint64_t> requests_{0};
  std::atomic<uint64_t> bytes_{0};
  std::thread thread_;
};

}  // namespace kro::test

#endif
