#pragma once
// Where the main window's controls sit (client coordinates of the 1303 x 791 window). The centre
// readouts are placed where the robot picture's callout lines end.

namespace dashboard {

struct Rect {
    int left, top, width, height;
};

constexpr int kCyanBar = 16382208;    // RGB 0, 249, 249
constexpr int kDarkCyanBar = 5987072; // RGB 0, 91, 91

// Left column.
constexpr Rect kImage2{20, 10, 259, 261};
constexpr Rect kImage6{132, 124, 32, 32};
constexpr Rect kSpeedButton1{226, 6, 63, 21};
constexpr Rect kLabel26{4, 4, 160, 18};
constexpr Rect kLabel23{4, 180, 70, 18};
constexpr Rect kCGauge8{8, 198, 13, 70};
constexpr Rect kCGauge9{25, 198, 13, 70};
constexpr Rect kCGauge10{42, 198, 13, 70};
constexpr Rect kImage3{20, 270, 259, 261};
constexpr Rect kImage5{132, 384, 32, 32};
constexpr Rect kLabel25{4, 274, 70, 18};
constexpr Rect kLabel24{4, 440, 50, 18};
// The stop key's caption, in the pad's top right corner clear of its circle.
constexpr Rect kStopKeyCaption{246, 272, 44, 36};
constexpr Rect kCGauge11{8, 458, 13, 70};
constexpr Rect kCGauge12{25, 458, 13, 70};
constexpr Rect kChart1{4, 530, 283, 261};

// Centre: the robot picture and its readouts, where its callout lines end.
constexpr Rect kImage1{280, 10, 797, 769};
constexpr Rect kLabel1{430, 54, 90, 19};
constexpr Rect kLabel13{430, 74, 90, 19};
constexpr Rect kLabel2{743, 54, 90, 19};
constexpr Rect kLabel14{743, 74, 90, 19};
constexpr Rect kCGauge6{582, 52, 6, 259};
constexpr Rect kCGauge7{662, 52, 6, 259};
constexpr Rect kImage7{433, 223, 55, 55};
constexpr Rect kImage8{762, 223, 55, 55};
constexpr Rect kImage9{433, 565, 55, 55};
constexpr Rect kImage10{762, 565, 55, 55};
constexpr Rect kLabel7{336, 224, 95, 19};
constexpr Rect kLabel8{827, 224, 95, 19};
constexpr Rect kLabel9{336, 566, 95, 19};
constexpr Rect kLabel10{827, 566, 95, 19};
constexpr Rect kImage11{433, 223, 55, 55}; // hidden templates
constexpr Rect kImage12{433, 565, 55, 55};
constexpr Rect kShape1{538, 348, 30, 30};
constexpr Rect kShape2{682, 348, 30, 30};
constexpr Rect kShape3{538, 492, 30, 30};
constexpr Rect kShape4{682, 492, 30, 30};
constexpr Rect kLabel3{336, 255, 52, 19};
constexpr Rect kLabel4{827, 255, 52, 19};
constexpr Rect kLabel5{336, 597, 52, 19};
constexpr Rect kLabel6{827, 597, 52, 19};
constexpr Rect kLabel15{390, 255, 40, 19};
constexpr Rect kLabel16{881, 255, 40, 19};
constexpr Rect kLabel17{390, 597, 40, 19};
constexpr Rect kLabel18{881, 597, 40, 19};
constexpr Rect kCGauge2{440, 343, 31, 90};
constexpr Rect kCGauge3{440, 437, 31, 90};
constexpr Rect kCGauge5{779, 343, 31, 90};
constexpr Rect kCGauge4{779, 437, 31, 90};
constexpr Rect kCGauge13{415, 344, 13, 183};
constexpr Rect kCGauge14{822, 344, 13, 183};
constexpr Rect kLabel11{308, 344, 100, 38};
constexpr Rect kLabel19{308, 386, 100, 19};
constexpr Rect kLabel12{842, 344, 110, 38};
constexpr Rect kLabel20{842, 386, 110, 19};
constexpr Rect kImage4{680, 642, 63, 127};
constexpr Rect kCGauge1{689, 659, 45, 101};
constexpr Rect kLabel21{466, 662, 130, 19};
constexpr Rect kLabel22{466, 682, 190, 19};

// Right column, clear of the panel's strip at the right edge.
constexpr Rect kCheckBox1{986, 14, 217, 20};
constexpr Rect kCheckBox2{986, 38, 217, 20};
constexpr Rect kListBox1{985, 70, 219, 461};
constexpr Rect kMemo1{986, 546, 217, 155};
// The link readout, under the log, and the recording control under it.
constexpr Rect kLinkReadout{986, 706, 217, 34};
constexpr Rect kRecording{986, 746, 217, 22};

} // namespace dashboard
