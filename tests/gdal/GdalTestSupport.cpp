#include "GdalTestSupport.h"

#include "GafDriver.h"
#include "cpl_conv.h"
#include "cpl_error.h"
#include "gdal_utils.h"

namespace kro::test {

void RegisterDrivers() {
  // First, so that a gdal_Gaf.so on GDAL_DRIVER_PATH finds the driver taken.
  RegisterOGRGaf();
  GDALAllRegister();
}

std::string DataFile(const char* name) { return std::string(KRO_DATA_DIR) + "/" + name; }

bool Translate(const std::string& destination, const std::string& source, const std::vector<std::string>& arguments) {
  CPLStringList argv;
  for (const std::string& argument : arguments) argv.AddString(argument.c_str());
  GDALVectorTranslateOptions* options = GDALVectorTranslateOptionsNew(argv.List(), nullptr);
  if (options == nullptr) return false;
  GDALDatasetH sourceDataset = GDALOpenEx(source.c_str(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr);
  GDALDatasetH result = nullptr;
  int usageError = FALSE;
  if (sourceDataset != nullptr) {
    result = GDALVectorTranslate(destination.c_str(), nullptr, 1, &sourceDataset, options, &usageError);
    GDALClose(sourceDataset);
  }
  GDALVectorTranslateOptionsFree(options);
  if (result == nullptr) return false;
  CPLErrorReset();
  GDALClose(result);
  return CPLGetLastErrorType() != CE_Failure;
}

GDALDatasetUniquePtr OpenVector(const std::string& name, unsigned extraFlags,
                                const std::vector<std::string>& openOptions) {
  CPLStringList options;
  for (const std::string& option : openOptions) options.AddString(option.c_str());
  return GDALDatasetUniquePtr(
      GDALDataset::Open(name.c_str(), GDAL_OF_VECTOR | extraFlags, nullptr, options.List(), nullptr));
}

std::set<GIntBig> Fids(OGRLayer& layer) {
  std::set<GIntBig> fids;
  layer.ResetReading();
  for (auto& feature : layer) fids.insert(feature->GetFID());
  return fids;
}

namespace {
CapturedMessages* current = nullptr;
}  // namespace

CapturedMessages::CapturedMessages() {
  current = this;
  CPLSetConfigOption("CPL_DEBUG", "Gaf");
  CPLPushErrorHandler(Keep);
  CPLSetCurrentErrorHandlerCatchDebug(TRUE);
}

CapturedMessages::~CapturedMessages() {
  CPLPopErrorHandler();
  CPLSetConfigOption("CPL_DEBUG", nullptr);
  current = nullptr;
}

void CPL_STDCALL CapturedMessages::Keep(CPLErr level, CPLErrorNum, const char* message) {
  if (current != nullptr) current->messages_.emplace_back(level, message != nullptr ? message : "");
}

bool CapturedMessages::Contains(CPLErr level, const std::vector<std::string>& parts) const {
  for (const auto& [messageLevel, text] : messages_) {
    if (messageLevel != level) continue;
    bool all = true;
    for (const std::string& part : parts) all = all && text.find(part) != std::string::npos;
    if (all) return true;
  }
  return false;
}

size_t CapturedMessages::Count(CPLErr level) const {
  size_t count = 0;
  for (const auto& message : messages_) count += message.first == level ? 1 : 0;
  return count;
}

std::string CapturedMessages::All() const {
  std::string all;
  for (const auto& message : messages_) all += std::to_string(message.first) + ": " + message.second + "\n";
  return all;
}

}  // namespace kro::test
