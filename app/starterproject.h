#pragma once

class ConfigImage;
class QString;

// The project a newcomer starts with: every relay page as the window first shows it (labels
// "Relais 1" to "Relais 8", card "Relaiskarte"), captured by the window's own capture. Needs
// a running QApplication.
ConfigImage StarterImage();

// Writes the starter project to path; the generator target zelkora-starter calls this.
bool WriteStarterProject(const QString &path);
