// A search's own folder beside the base (BASE.capacity-XXXXXX): made under
// a name nothing had, locked while the search runs, and removed with every
// file the search made in it; and the folders other searches left there.
#pragma once
#include <string>
#include <vector>

#include "search/capacity_plan.h"

// The folders of other searches beside the base (BASE.capacity-*): left by
// one that was killed, or held by one that runs now.
std::vector<SearchFolder> findSearchFolders(const std::string& base);
// Removes a left folder: its files, then the folder; false when something
// stays (a file still held, a folder inside it).
bool removeSearchFolder(const std::string& path);

// Why a search's folder could not be made.
enum FolderProblem {
    folderReady,
    folderNameTooLong,  // the base leaves no room to name the folder and its files
    folderNotMade,      // the system refused it: SearchFolderLock.why says why
};
// The folder while the search holds it.
struct SearchFolderLock {
    TrackHandle lock = invalidTrackHandle;
    IoStatus why{};  // why it could not be made
};
// Makes the folder beside place.base and locks it, describing what holds it.
// First finds the other searches' folders and, when asked, removes those no
// search holds.
FolderProblem makeSearchFolder(SearchPlace& place, bool removeLeftovers, SearchFolderLock& held);
// The base names of the files in it: the recorded ones (BASE.NNN), and the
// played ones with "-play" and a tag before the extension (BASE-play.NNN).
std::string recordBaseIn(const SearchPlace& place);
std::string playBaseIn(const SearchPlace& place, const std::string& tag = "");
// Releases the lock and removes the (emptied) folder; false when it stays.
bool closeSearchFolder(const SearchPlace& place, SearchFolderLock& held);

// The folder, watched: interrupts are heard from before it exists (the
// trial under way stops; a second interrupt ends the process, removing the
// folder's files on its way out) until it is closed again.
FolderProblem openSearchPlace(SearchPlace& place, bool removeLeftovers, SearchFolderLock& held);
bool closeSearchPlace(const SearchPlace& place, SearchFolderLock& held);
