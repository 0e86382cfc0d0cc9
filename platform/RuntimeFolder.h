#pragma once
#include <QString>

namespace orv {

// Makes sure XDG_RUNTIME_DIR names a private folder of this user before anything asks Qt for it, so the
// program and its helper never print Qt's "XDG_RUNTIME_DIR not set" warning and agree on where their
// locks live. A set variable naming a folder of ours with mode 0700 stays; otherwise the session's
// /run/user/<uid>, otherwise <temp>/runtime-<user> (created, or made private when it is ours), and when
// that one belongs to someone else or is a link, a fresh private folder. Returns the folder chosen.
QString EnsureRuntimeFolder();

} // namespace orv
