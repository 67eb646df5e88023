#pragma once
// This system's implementations of the platform services, for the mains
// and the helper programs: each is made once in a Posix* file and once in a
// Win32* file of this layer (PosixSystemFiles.cpp, Win32SystemFiles.cpp,
// ...), and the build takes one system's files, so that no main names a
// system or tests which one it runs on.
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/Audio.h"
#include "platform/MountTable.h"
#include "platform/ProcessLauncher.h"
#include "platform/SharedFile.h"

namespace kestrel {

// The shared folder's files, with the log's locks as the other PCs take them.
std::unique_ptr<SharedFileSystem> systemFileSystem();
// The mounts (Linux) or the volumes (Windows) the data folder may lie on.
std::unique_ptr<MountTable> systemMountTable();
// Starts programs without waiting for them.
std::unique_ptr<ProcessLauncher> systemProcessLauncher();
// Plays the sound files to their end: SDL on Linux, the multimedia
// commands on Windows.
std::unique_ptr<Audio> systemAudio();
// Loads a WAV file as a play does and lets it go, without a sound device
// and without a sound: whether the file would play on this PC, with the
// system's text when not (the setup check's test of the sound files).
PlayResult loadWavFile(const std::filesystem::path& wavFile);
// The folders of this PC where a run the shared log could not take waits
// until it can (results/KeptRuns.h), tried in this order: the one every
// account of the PC may write (Windows: ProgramData\Kestrel\記録待ち, which
// the installer opens to every user; Linux: /var/lib/kestrel/記録待ち, which
// the package makes), then the account's own.
std::vector<std::filesystem::path> keptRunsFolders();

} // namespace kestrel
