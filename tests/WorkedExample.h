#pragma once
// The report's worked example: a 640 x 480 picture with one black pixel at
// bitmap y 140 in each of the columns 60, 61 and 62, its settings, and the
// output text it gives with the header, column names, real x, real y and SDEV.

#include "ScanSettings.h"

#include <cstdint>

namespace plotrun::test {

inline uint32_t workedExamplePixel(int x, int row) { return (row == 480 - 140 && x >= 60 && x <= 62) ? 0u : 0xFFFFFFu; }

inline ScanSettings workedExampleSettings()
{
    ScanSettings s;
    s.OriginX = 50;
    s.OriginY = 40;
    s.RefX = 250;
    s.RealRefX = 10;
    s.HasRealRefX = true;
    s.RefY = 240;
    s.RealRefY = 100;
    s.HasRealRefY = true;
    s.ScanStartX = 60;
    s.ScanStartY = 50;
    s.ScanEndX = 63;
    s.ScanEndY = 200;
    s.Threshold = 128;
    return s;
}

inline constexpr const char* kWorkedExampleText = "Image width:,640\r\n"
                                                  "Image height:,480\r\n"
                                                  "Bits per pixel: ,24\r\n"
                                                  "Scan width:,1\r\n"
                                                  "Threshold:,128\r\n"
                                                  "Weighted Y points\r\n"
                                                  "\r\n"
                                                  "Coordinate:,X,Y\r\n"
                                                  "Origin:,50,40\r\n"
                                                  "Reference:,250,240\r\n"
                                                  "Real origin:,0,0\r\n"
                                                  "Real reference:,10,100\r\n"
                                                  "Scan start:,60,50\r\n"
                                                  "Scan end:,63,200\r\n"
                                                  "\r\n"
                                                  "X,Y,SDEV\r\n"
                                                  "0.525,50,0\r\n"
                                                  "0.575,50,0\r\n"
                                                  "0.625,50,0\r\n";

} // namespace plotrun::test
