// postrestart.h -- the two short runs that complete an installation after a
// restart: "-i" performs the deferred registrations and starts "~i", which
// shows the completion and removes the End-install information file.
#ifndef NVR_LAUNCHER_POSTRESTART_H
#define NVR_LAUNCHER_POSTRESTART_H

// "-i": args is the whole command-line text (it is reused, with its first
// character changed to '~', to start the completion run); path is the text
// after the switch. Returns the exit code (0).
int RunPostRestartRegistration(const char *args, const char *path);

// "~i": path is the End-install information path. Returns 0, or -1 when the
// file is missing.
int RunPostRestartCompletion(const char *path);

#endif
