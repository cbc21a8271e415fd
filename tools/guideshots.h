#pragma once

#include <QString>

class MessageService;

// The pictures of the user guide (docs/guide/), rendered from the real windows on the sample
// book that the main window has open, in the built-in look. quiet is the message service that
// answers while no picture of a box is wanted.
void renderGuidePictures(const QString& folder, MessageService* quiet);
