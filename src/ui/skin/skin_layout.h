#pragma once
// Places that the dialogs' fixed layouts leave open but the skin images were
// drawn around: the main window's seek slider and transport row sit in the
// strip under the video area, and the progress dialog's bars, times and check
// boxes in the band under its preview. Dialogs that follow these places line
// up with the drawn wells and panels.
#include <QRect>

namespace skin_layout {

// Main window (maindlg.png, 820 x 545). The upper card holds the video, its
// seek slider and transport row, and the title list; the lower card the track
// and profile choices, the output folder and Start, in three rows that line up
// with the Settings (y 456) and Browse (y 491) buttons.
constexpr QRect kMainTitleLabel{19, 11, 290, 16};
constexpr QRect kMainVideo{32, 110, 296, 209};
constexpr QRect kMainTitleList{335, 110, 454, 238};
constexpr QPoint kMainSeekSlider{32, 328};  // sliderbk_main*.png, 296 x 14
// Play (Pause in the same place), Stop, Previous, Next, Snapshot, Open folder:
// 40 x 26 buttons, 51 pixels apart.
constexpr int kMainTransportY = 352;
constexpr int kMainTransportX[6] = {32, 83, 134, 185, 236, 287};
constexpr QRect kMainUpperCard{16, 106, 788, 288};
constexpr QRect kMainLowerCard{16, 402, 788, 132};
constexpr QRect kMainAudioCaption{24, 419, 84, 16};
constexpr QRect kMainAudioCombo{110, 416, 176, 22};
constexpr QRect kMainSubtitleCaption{298, 419, 66, 16};
constexpr QRect kMainSubtitleCombo{366, 416, 202, 22};
constexpr QRect kMainProfileCaption{24, 459, 84, 16};
constexpr QRect kMainProfileCombo{110, 456, 308, 22};
constexpr QRect kMainOutputCaption{24, 494, 84, 16};
constexpr QRect kMainOutputEdit{110, 491, 308, 22};
constexpr QRect kMainMergeCheck{536, 459, 134, 20};

// Progress dialog (convertingbk.png, 485 x 550); the body is the labels'
// brush colour (137, 139, 142) so labels may go anywhere on it.
constexpr QRect kConvTitleLabel{16, 11, 200, 16};
constexpr QRect kConvShowPreviewCheck{86, 50, 200, 16};
constexpr QRect kConvPreview{86, 78, 322, 242};
constexpr QRect kConvLengthLabel{40, 340, 405, 16};   // converted length of the file
constexpr QRect kConvFileProgress{40, 360, 405, 16};  // progress1.png
constexpr QRect kConvJobProgress{40, 404, 405, 16};   // progress2.png
constexpr QRect kConvElapsedLabel{40, 430, 200, 16};
constexpr QRect kConvRemainingLabel{245, 430, 200, 16};
constexpr QRect kConvShutdownCheck{40, 462, 405, 16};
constexpr QRect kConvOpenFolderCheck{40, 484, 405, 16};

// Clip editor (cropbk.png, 800 x 600): the trim selector lies under the
// position slider (26, 367), 18 pixels wider, so its 18-pixel handles centre
// on the ends of the slider's band.
constexpr QRect kCropPositionSlider{26, 367, 748, 14};
constexpr QRect kCropTrimSelector{17, 381, 766, 14};
// The page card starts on the tabs' last row, so the current tab joins it.
constexpr QRect kCropPagePanel{16, 487, 768, 63};

}  // namespace skin_layout
