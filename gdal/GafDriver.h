// The GDAL vector driver "Gaf" for Gaf file sets.
#ifndef KRO_GDAL_GAFDRIVER_H
#define KRO_GDAL_GAFDRIVER_H

// Registers the driver with GDAL's driver manager, once; later calls do
// nothing. The plugin's entry point calls it; a program that links the driver
// directly calls it itself.
extern "C" void RegisterOGRGaf();

#endif
