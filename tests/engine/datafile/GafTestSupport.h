// Helpers for the data file suites (hand-made file bytes come from
// support/GafBytes.h): a model of one object with its writer and reader, and what a model reads
// back as after the file's precision and string limits.
#ifndef KRO_TESTS_ENGINE_DATAFILE_GAFTESTSUPPORT_H
#define KRO_TESTS_ENGINE_DATAFILE_GAFTESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/datafile/CGafFile.h"
#include "support/GafBytes.h"
#include "support/TempDir.h"

namespace kro::test {

// One object as a caller gives it.
using GafObject = GafRecord;

// What `object` reads back as: strings cut to 255 bytes on a character
// boundary, coordinates rounded to singles in a 32-bit file.
GafObject ExpectedReadBack(const GafObject& object, uint32_t bits);
// Compares everything; the message names the first difference.
::testing::AssertionResult SameObject(const GafObject& expected, const GafObject& actual);
// Reads all objects in file order with NextRecord (free records skipped);
// the status that ended the scan goes to `end`.
std::vector<GafObject> ReadAll(CGafFile& file, EngineStatus& end, std::vector<uint32_t>* positions = nullptr);

// A random object of the given type: up to `maxVertices` vertices, strings of
// 0 to 300 bytes mixing ASCII and multi-byte characters.
GafObject RandomObject(std::mt19937& random, EGafObjectType type, int maxVertices);
GafObject MakePoint(const std::string& name, const std::string& key, double x, double y);

// One part of all `vertices` (a multi-set kind: one set).
GafObject MakeLine(EGafObjectType type, std::vector<CKroDoublePointNode> vertices, const std::string& key = "k");

// The whole file in one read (ReadFileBytes goes byte by byte, too slow for
// the loops that compare large files after every injected fault).
Bytes LoadFile(const std::string& path);
// Writes the bytes into a new file of that name. Emptying an existing file
// and writing it again makes some file systems flush it at close, which loops
// that rewrite a file hundreds of times cannot afford.
void RewriteFile(const std::string& path, const Bytes& bytes);

// Opens a data file and expects `expected` as the open status.
std::unique_ptr<CGafFile> OpenGaf(const std::string& name, uint32_t flagWord, EngineStatus expected = kEngineOk,
                                  Env& env = Env::Default());

}  // namespace kro::test

#endif
