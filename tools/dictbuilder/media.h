#pragma once
// Small pictures and a sound made by code for the demo dictionary, each in
// the file format a dictionary's media may come in. Every function returns
// the complete file as bytes.
#include <cstdint>
#include <string>
#include <vector>

namespace dictbuilder {

// One 32-bit pixel per entry, in RGBA byte order.
struct Rgba {
  uint8_t R, G, B, A;
};

struct Picture {
  int Width = 0, Height = 0;
  std::vector<Rgba> Pixels;  // row by row from the top
};

Picture MakeBadgePicture(int size);      // a disc with soft, partly transparent edges
Picture MakeLandscapePicture(int w, int h);

std::string EncodePng(const Picture& p);             // 8-bit RGBA, keeps transparency
std::string EncodeJpeg(const Picture& p, int quality);
std::string EncodeBmp(const Picture& p);             // 24-bit, bottom-up, padded rows

// An animated GIF: a dot circling a ring, `frames` frames, looping forever,
// 16-colour global table, colour 0 transparent.
std::string MakeAnimatedGif(int size, int frames);

// A 16-bit mono PCM WAVE file: a bell-like tone fading out.
std::string MakeBellWave(int sampleRate, double seconds, double frequency);

}  // namespace dictbuilder
