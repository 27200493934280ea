// Colours as the settings and pages hold them (0x00BBGGRR: red in the low byte),
// and the background of a panel.
#pragma once

#include <QColor>
#include <cstdint>

class QWidget;

QColor ColorFromBgr(uint32_t bgr);
uint32_t BgrFromColor(const QColor& c);

void PaintBackground(QWidget* w, const QColor& colour);
inline void PaintBackground(QWidget* w, uint32_t bgr) { PaintBackground(w, ColorFromBgr(bgr)); }
