#pragma once

// The dial-up dialogs' pictures, painted rather than shipped as files.

#include <QPixmap>

// The banner picture of the dial-up information dialog: a telephone beside a computer.
QPixmap DialBannerPicture();
// Frame 1 to 4 of the dialing animation: the signal between the two computers travels one step
// further in each frame.
QPixmap DialFramePicture(int frame);
