#pragma once
// TMetafile records drawing (made through a TMetafileCanvas) and plays it
// back scaled into any rectangle, on screen, on a bitmap or on paper.
#include <memory>

#include "platform/graphics/bitmap.h"

class TMetafile : public TGraphic {
public:
  TMetafile();
  ~TMetafile() override;

  // Size in pixels of the reference device; taken from the extent of the
  // recorded drawing unless set.
  int Width() const override;
  int Height() const override;
  void SetWidth(int value) override;
  void SetHeight(int value) override;
  // Size in hundredths of a millimetre.
  int MMWidth() const;
  int MMHeight() const;
  void SetMMWidth(int value);
  void SetMMHeight(int value);
  bool Enhanced() const { return true; }
  void SetEnhanced(bool) {}
  bool Empty() const override;
  void Clear();

  void Draw(TCanvas& canvas, const TRect& r) override;
  // Reads what SaveToStream wrote; any other data raises EInvalidGraphic.
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
  void Assign(const TGraphic& source) override;

  struct Impl;
  Impl& impl() { return *FImpl; }

private:
  std::unique_ptr<Impl> FImpl;
};

// Drawing on this canvas is recorded into the metafile; destroying the
// canvas completes the recording (replacing what the metafile held).
// The reference device gives resolution and page size; nullptr = screen.
class TMetafileCanvas : public TCanvas {
public:
  TMetafileCanvas(TMetafile* metafile, HDC referenceDevice);
  ~TMetafileCanvas() override;

private:
  struct Recording;
  std::unique_ptr<Recording> FRecording;
  TMetafile* FMetafile;
};
