#pragma once

// Centring of top-level windows by their frames (title bar and borders included). Only the
// window manager knows a frame, and only once it has decorated the shown window.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>

class QWidget;

// The top-left corner of a frame of ClientSize grown by Frame that is centred on Area.
QPoint CentredFramePos(const QRect& Area, const QSize& ClientSize, const QMargins& Frame);

// The frame of a shown top-level window around its client area; none before it is decorated.
QMargins FrameMargins(const QWidget* Window);

// Centres Window's frame on Area() now, taking Guess for its frame (the margins of a window
// that is shown already, or none), and again when the window is first activated, with the
// frame it really has.
void CentreFrame(QWidget* Window, std::function<QRect()> Area, const QMargins& Guess);
