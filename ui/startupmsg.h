// startupmsg.h -- the four start-up messages. They exist in English only,
// because they appear before any information file has been read.
#ifndef NVR_UI_STARTUPMSG_H
#define NVR_UI_STARTUPMSG_H

#define MsgCantInitialize "Can't initialize installation.\n\nAborting installation."
#define MsgPackageCorrupt "This install file was corrupted or truncated, Please get a new copy " \
                          "of install file.\n\nAborting installation."
#define MsgBareModule     "This file, Nuvar packager install module V1.0, must be invoked " \
                          "with proper command line argument."
#define MsgNoInstallInfo  "Install information file not found.\n\nAborting installation."

#endif
