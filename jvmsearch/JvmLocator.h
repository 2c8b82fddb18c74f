#pragma once

namespace plimo {

// Finds a usable Java runtime, loads its jvm.dll and binds JNI_CreateJavaVM.
// With ansiGivenPath null: the configured search. Otherwise checks the given
// java.exe (givenIsJavaExe) or Java home. With reportErrors the user is told
// why nothing works; the function itself never ends the process.
bool locateJvm(bool reportErrors, const char* ansiGivenPath, bool givenIsJavaExe);

// Remembers a java.exe the user picked (the located-runtime list in the
// registry) so that later searches find it.
void recordLocatedJvm(const char* ansiJavaExe);

}  // namespace plimo
