#pragma once
// The document's GIF animation: after a layout the page's animated images
// run and the document's timer (50 ms at first, then 40 ms) steps every
// image that the last paint showed.
class ThtDocument;

// After a layout: animated images that are not running start (a running
// one goes on from where it is); a print copy's stop. The timer is made on
// the first layout and is enabled exactly when the page has animated images.
void StartImageAnimations(ThtDocument* Doc);
// Before a paint: animated images count as not shown until they are drawn
// again (the page background's GIF always counts as shown).
void MarkImagesUnpainted(ThtDocument* Doc);
// The cache's hold on the page background's picture ends (on Clear).
void ReleaseBackgroundImage(ThtDocument* Doc);
// One tick of the document's timer.
void StepImageAnimations(ThtDocument* Doc);
