#include "GafTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "engine/datafile/GafByteOrder.h"
#include "engine/datafile/GafFormat.h"
#include "engine/datafile/GafRecordCodec.h"

namespace kro::test {

namespace {

// The first 255 bytes of valid UTF-8 text, backed off to a character start.
std::string Cut(const std::string& text) {
  if (text.size() <= 255) return text;
  size_t n = 255;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

}  // namespace

GafObject ExpectedReadBack(const GafObject& object, uint32_t bits) {
  GafObject expected = object;
  expected.name = Cut(object.name);
  expected.key = Cut(object.key);
  expected.url = Cut(object.url);
  if (bits == 32) {
    for (CKroDoublePointNode& v : expected.vertices) {
      v.x = static_cast<float>(v.x);
      v.y = static_cast<float>(v.y);
    }
  }
  return expected;
}

::testing::AssertionResult SameObject(const GafObject& expected, const GafObject& actual) {
  if (expected.kind != actual.kind) {
    return ::testing::AssertionFailure() << "kind " << expected.kind << " read as " << actual.kind;
  }
  if (expected.name != actual.name || expected.key != actual.key || expected.url != actual.url) {
    return ::testing::AssertionFailure() << "strings differ: key '" << expected.key << "' read as '" << actual.key
                                         << "'";
  }
  if (expected.parts != actual.parts) return ::testing::AssertionFailure() << "parts differ";
  if (expected.vertices.size() != actual.vertices.size()) {
    return ::testing::AssertionFailure() << expected.vertices.size() << " vertices read as "
                                         << actual.vertices.size();
  }
  for (size_t i = 0; i < expected.vertices.size(); ++i) {
    // Bitwise, so that -0.0 and NaN are compared as stored.
    if (std::memcmp(&expected.vertices[i], &actual.vertices[i], sizeof(CKroDoublePointNode)) != 0) {
      return ::testing::AssertionFailure() << "vertex " << i << " (" << expected.vertices[i].x << ", "
                                           << expected.vertices[i].y << ") read as (" << actual.vertices[i].x
                                           << ", " << actual.vertices[i].y << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<GafObject> ReadAll(CGafFile& file, EngineStatus& end, std::vector<uint32_t>* positions) {
  std::vector<GafObject> objects;
  for (;;) {
    EGafObjectType type;
    uint32_t position = 0;
    end = file.NextRecord(type, position);
    if (end != kEngineOk) return objects;
    if (!gaf::IsRecordKind(type)) continue;
    GafObject object;
    end = file.ReadRecord(object);
    if (end != kEngineOk) return objects;
    objects.push_back(object);
    if (positions != nullptr) positions->push_back(position);
  }
}

namespace {

std::string RandomText(std::mt19937& random) {
  static const char* const pieces[] = {"a", "Z", "7", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x97\xBA", "-"};
  std::uniform_int_distribution<int> lengthPick(0, 10);
  const int shape = lengthPick(random);
  // Mostly short texts; some long enough to be cut at 255 or to need the long form.
  const size_t target = shape < 6 ? shape * 3 : shape < 9 ? 120 + shape : 250 + shape * 5;
  std::string text;
  std::uniform_int_distribution<int> piecePick(0, 7);
  while (text.size() < target) text += pieces[piecePick(random)];
  return text;
}

}  // namespace

GafObject RandomObject(std::mt19937& random, EGafObjectType type, int maxVertices) {
  GafObject o;
  o.kind = type;
  o.name = RandomText(random);
  o.key = RandomText(random);
  o.url = RandomText(random);
  std::uniform_real_distribution<double> coordinate(-1e6, 1e6);
  std::uniform_int_distribution<int> countPick(1, maxVertices);
  auto vertex = [&] { return CKroDoublePointNode{coordinate(random), coordinate(random)}; };
  auto ring = [&](int n) {
    const CKroDoublePointNode first = vertex();
    o.vertices.push_back(first);
    for (int i = 1; i < n - 1; ++i) o.vertices.push_back(vertex());
    if (n > 1) o.vertices.push_back(first);
  };
  switch (static_cast<int>(type)) {
    case 0:
      o.vertices.push_back(vertex());
      break;
    case 1:
    case 2:
      for (int i = countPick(random); i > 0; --i) o.vertices.push_back(vertex());
      break;
    case 4:
      ring(countPick(random));
      break;
    case 3:
    case 5: {
      std::uniform_int_distribution<int> setPick(0, 4);
      for (int s = setPick(random); s > 0; --s) {
        const int n = countPick(random);
        o.parts.push_back(n);
        if (type == kGafPolyPolygonObject) ring(n);
        else for (int i = 0; i < n; ++i) o.vertices.push_back(vertex());
      }
      break;
    }
    default:
      break;
  }
  if (!gaf::IsMultiPart(type)) o.parts.assign(1, static_cast<int32_t>(o.vertices.size()));
  return o;
}

GafObject MakePoint(const std::string& name, const std::string& key, double x, double y) {
  GafObject o = SinglePartRecord(kGafPointObject, {{x, y}});
  o.name = name;
  o.key = key;
  return o;
}

GafObject MakeLine(EGafObjectType type, std::vector<CKroDoublePointNode> vertices, const std::string& key) {
  GafObject o = SinglePartRecord(type, std::move(vertices));
  o.key = key;
  return o;
}

Bytes LoadFile(const std::string& path) {
  Bytes bytes;
  if (FILE* in = std::fopen(path.c_str(), "rb")) {
    std::fseek(in, 0, SEEK_END);
    bytes.resize(static_cast<size_t>(std::ftell(in)));
    std::fseek(in, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size()) bytes.clear();
    std::fclose(in);
  }
  return bytes;
}

void RewriteFile(const std::string& path, const Bytes& bytes) {
  std::remove(path.c_str());
  WriteFileBytes(path, bytes);
}

std::unique_ptr<CGafFile> OpenGaf(const std::string& name, uint32_t flagWord, EngineStatus expected, Env& env) {
  EngineStatus status = 0xFFFFFFFFu;
  auto file = std::make_unique<CGafFile>(name.c_str(), flagWord, status, env);
  EXPECT_EQ(status, expected) << StatusName(status) << " opening " << name << " with " << flagWord;
  if (status != kEngineOk) {
    // A refused open says which file and why.
    EXPECT_EQ(file->Error().status, status);
    EXPECT_EQ(file->Error().file, name);
    EXPECT_FALSE(file->Error().reason.empty());
  }
  return file;
}

}  // namespace kro::test
