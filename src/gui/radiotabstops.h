#pragma once

class QWidget;

// Tab reaches a group of radio buttons at its checked button, as keyboard users expect:
// Space on the group's first button must not change a choice they did not look at. The
// arrow keys still move within the group (Qt moves among auto-exclusive buttons whatever
// their focus policy). A group with no checked button keeps every button a tab stop.
namespace RadioTabStops {
// For the auto-exclusive radio buttons below root, grouped by their parent; kept up to date
// as the checked button changes.
void apply(QWidget* root);
} // namespace RadioTabStops
