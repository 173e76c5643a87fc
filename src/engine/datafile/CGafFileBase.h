// The abstract data file: the settings every data file carries, the record
// buffers a reader fills, and the virtual operations in their fixed slot
// order. Every file operation of the base answers eGafNotSupported and changes
// nothing; CGafFile is the one implementation.
#ifndef KRO_ENGINE_DATAFILE_CGAFFILEBASE_H
#define KRO_ENGINE_DATAFILE_CGAFFILEBASE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "KroGafExportImport/KroGafExportImport.h"
#include "engine/EngineStatus.h"
#include "platform/FileSystem.h"

namespace kro {

class CGafFileBase {
 public:
  CGafFileBase() = default;
  CGafFileBase(const CGafFileBase&) = delete;
  CGafFileBase& operator=(const CGafFileBase&) = delete;

  // Slots 0 to 6: settings kept for callers; the engine uses none of them.
  virtual int32_t GetSetting1() const;
  // Closes the file handle when one is open.
  virtual ~CGafFileBase();
  virtual int32_t GetSetting2() const;
  virtual int32_t GetSetting3() const;
  virtual void SetSetting3(int32_t value);
  virtual int32_t GetMaxVertices() const;
  // Stores the value clamped to 8 .. 16384 and returns what was stored.
  virtual int32_t SetMaxVertices(int32_t value);

  // Slots 7 to 11.
  // Coordinate bits of the file, 32 or 64.
  virtual uint32_t GetPrecision() const;
  virtual EngineStatus SetPrecision(int16_t bits);
  virtual EngineStatus SetDescription(const char* text);
  virtual EngineStatus ReadRecordHeader(EGafObjectType& type);
  virtual EngineStatus SkipRecord();

  // Slots 12 to 17: read the body of the record whose header was read last.
  // Results point into the object's buffers and stay valid until the next read.
  virtual EngineStatus ReadPoint(const char*& name, const char*& key, const char*& url,
                                 const CKroDoublePointNode*& vertices);
  virtual EngineStatus ReadMultiPoint(const char*& name, const char*& key, const char*& url, int32_t& count,
                                      const CKroDoublePointNode*& vertices);
  virtual EngineStatus ReadPolyline(const char*& name, const char*& key, const char*& url, int32_t& count,
                                    const CKroDoublePointNode*& vertices);
  virtual EngineStatus ReadPolyPolyline(const char*& name, const char*& key, const char*& url, int32_t& setCount,
                                        const int32_t*& setCounts, const CKroDoublePointNode*& vertices);
  virtual EngineStatus ReadPolygon(const char*& name, const char*& key, const char*& url, int32_t& count,
                                   const CKroDoublePointNode*& vertices);
  virtual EngineStatus ReadPolyPolygon(const char*& name, const char*& key, const char*& url, int32_t& setCount,
                                       const int32_t*& setCounts, const CKroDoublePointNode*& vertices);

  // Slots 18 to 23: write one record; `position` receives its record
  // position (0 when nothing was written), `box` (optional) the object's box.
  virtual EngineStatus WritePoint(const char* name, const char* key, const char* url,
                                  const CKroDoublePointNode* vertex, uint32_t& position, BoundingBoxNode* box);
  virtual EngineStatus WriteMultiPoint(const char* name, const char* key, const char* url, int32_t count,
                                       const CKroDoublePointNode* vertices, uint32_t& position,
                                       BoundingBoxNode* box);
  virtual EngineStatus WritePolyline(const char* name, const char* key, const char* url, int32_t count,
                                     const CKroDoublePointNode* vertices, uint32_t& position, BoundingBoxNode* box);
  virtual EngineStatus WritePolyPolyline(const char* name, const char* key, const char* url, int32_t setCount,
                                         const int32_t* setCounts, const CKroDoublePointNode* vertices,
                                         uint32_t& position, BoundingBoxNode* box);
  virtual EngineStatus WritePolygon(const char* name, const char* key, const char* url, int32_t count,
                                    const CKroDoublePointNode* vertices, uint32_t& position, BoundingBoxNode* box);
  virtual EngineStatus WritePolyPolygon(const char* name, const char* key, const char* url, int32_t setCount,
                                        const int32_t* setCounts, const CKroDoublePointNode* vertices,
                                        uint32_t& position, BoundingBoxNode* box);

  bool IsReadOnly() const { return readOnly_; }
  // The file was created or truncated by this open, so its header is new.
  bool IsNewFile() const { return newFile_; }
  const std::string& FileName() const { return fileName_; }
  // The open file's handle, or kInvalidFileHandle; the object keeps owning it.
  FileHandle Handle() const { return file_; }

 protected:
  // Record buffers, allocated by an open: strings, per-set counts and
  // vertices of the last record read.
  std::unique_ptr<char[]> nameBuffer_;
  std::unique_ptr<char[]> keyBuffer_;
  std::unique_ptr<char[]> urlBuffer_;
  std::vector<int32_t> setCounts_;
  std::vector<CKroDoublePointNode> vertices_;
  int32_t capacity_ = 16384;
  int32_t setting1_ = 1;
  int32_t setting2_ = 0;
  int32_t maxVertices_ = 16384;
  int32_t setting3_ = 0;
  FileHandle file_ = kInvalidFileHandle;
  std::string fileName_;
  bool readOnly_ = false;
  bool newFile_ = false;
};

}  // namespace kro

#endif
