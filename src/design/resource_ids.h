#pragma once

// The pictures the windows use, by resource id. Plain macros, so that a
// resource script can include this file as well as C++ code.
#define VELLMOR_ICON_MAINW 1
#define VELLMOR_ICON_ABOUT 2
#define VELLMOR_PICTURE_BANNER 101
#define VELLMOR_POINTER_ENVELOPE 201
#define VELLMOR_POINTER_PERSON_PLUS 202
#define VELLMOR_POINTER_PENGUIN 203
#define VELLMOR_POINTER_HAND 204
