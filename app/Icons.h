#pragma once
// The seven 16 x 16 icons of the main window's image list, drawn at start-up.
//
//  0 test (play mark)        1 clear (red cross)       2 open (folder)
//  3 save (disk)             4 send (arrow into the sign)
//  5 sign action (lightning) 6 configuration (gear)

#include <QIcon>

#include <array>

constexpr int kIconCount = 7;

// The icons in image-list order.
std::array<QIcon, kIconCount> MakeIcons();
