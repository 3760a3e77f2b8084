#pragma once
// Display scale: layouts are drawn for 96 dpi and the whole window tree — control sizes, the
// positions of freely placed controls, layout margins and spacing, icon sizes and every pixel
// size of the style sheet — is scaled to the chosen value.
#include <QString>
#include <QWidget>
#include <array>
#include <string_view>

namespace q417::ui {

inline constexpr std::array<int, 7> kValidDpis{48, 72, 96, 120, 144, 168, 192};
inline constexpr int kBaseDpi = 96;

// The scale for the monitor that holds the window: its full size, not the system setting.
// Above 1500 × 960 pixels: 144 (150 %); otherwise 96.
int ScaleForScreen(int width, int height);

// dpi when it is one of kValidDpis; otherwise 96, and traceText goes to the trace.
int ValidDpi(int dpi, std::string_view traceText);

inline int Scaled(int px, int dpi) {
    return px * dpi / kBaseDpi;
}

// Scales root's tree to dpi. The 96-dpi values are remembered on first use, so applying
// another scale later starts again from them.
void ApplyDpi(QWidget* root, int dpi);

// Every "<n>px" of a style sheet scaled to dpi.
QString ScaleStyleSheet(const QString& styleSheet, int dpi);

}  // namespace q417::ui
