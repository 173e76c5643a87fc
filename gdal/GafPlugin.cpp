// The entry point GDAL's plugin loader looks up in gdal_Gaf.so.
#include "GafDriver.h"

extern "C" __attribute__((visibility("default"))) void GDALRegister_Gaf() { RegisterOGRGaf(); }
