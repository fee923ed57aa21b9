#include "search/search_folder.h"

#include <cstdio>

#include "engine/track_name.h"
#include "platform/console.h"
#include "platform/platform.h"

namespace {

// A file name with "-play" and tag before its last dot: take.wav -> take-play.wav.
std::string playNameFor(const std::string& name, const std::string& tag)
{
    size_t dot = name.find_last_of('.');
    std::string play = name;
    play.insert(dot == std::string::npos ? name.size() : dot, "-play" + tag);
    return play;
}

struct FolderListing {
    std::string prefix;
    std::vector<std::string> names;  // folders, or files
    bool folders;
    uint64_t bytes;
};

void collectEntry(void* context, const char* name, bool isFolder, uint64_t size)
{
    FolderListing& listing = *static_cast<FolderListing*>(context);
    if (listing.folders) {
        if (isFolder && std::string(name).compare(0, listing.prefix.size(), listing.prefix) == 0)
            listing.names.push_back(name);
        return;
    }
    if (!isFolder) listing.names.push_back(name);
    listing.bytes += size;
}

std::string folderOf(const std::string& path)
{
    size_t start = fileNameStart(path.c_str());
    return start == 0 ? "." : path.substr(0, start);
}

}  // namespace

std::vector<SearchFolder> findSearchFolders(const std::string& base)
{
    std::string parent = folderOf(base);
    FolderListing beside{base.substr(fileNameStart(base.c_str())) + ".capacity-", {}, true, 0};
    platformListFolder(parent.c_str(), collectEntry, &beside);
    std::vector<SearchFolder> found;
    for (const std::string& name : beside.names) {
        std::string path = (parent == "." ? "" : parent) + name;
        FolderListing inside{"", {}, false, 0};
        platformListFolder(path.c_str(), collectEntry, &inside);
        found.push_back(SearchFolder{path, inside.bytes, platformFolderLocked(path.c_str())});
    }
    return found;
}

bool removeSearchFolder(const std::string& path)
{
    FolderListing inside{"", {}, false, 0};
    platformListFolder(path.c_str(), collectEntry, &inside);
    for (const std::string& name : inside.names) platformRemoveTrackFile((path + "/" + name).c_str());
    return platformRemoveFolder(path.c_str());
}

FolderProblem makeSearchFolder(SearchPlace& place, bool removeLeftovers, SearchFolderLock& held)
{
    held.lock = invalidTrackHandle;
    place.others = findSearchFolders(place.base);
    if (removeLeftovers) {
        std::vector<SearchFolder> kept;
        for (const SearchFolder& other : place.others)
            if (other.inUse || !removeSearchFolder(other.path)) kept.push_back(other);
        place.others = kept;
    }
    std::string name = place.base.substr(fileNameStart(place.base.c_str()));
    for (uint32_t attempt = 0; attempt < 64; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".capacity-%06x",
                      static_cast<unsigned>((platformMonotonicNs() / 1000 + attempt * 7919u) & 0xffffff));
        place.folder = place.base + suffix;
        // Room for the played files' names inside it, their tag too.
        if (place.folder.size() + 1 + playNameFor(name, "-192k32s").size() + 5 > maxBaseFileName)
            return folderNameTooLong;
        if (platformMakeFolder(place.folder.c_str(), &held.why)) {
            place.storageKnown = platformDescribeStorage(place.folder.c_str(), place.storage);
            held.lock = platformLockFolder(place.folder.c_str());
            return folderReady;
        }
    }
    return folderNotMade;
}

std::string recordBaseIn(const SearchPlace& place)
{
    return place.folder + "/" + place.base.substr(fileNameStart(place.base.c_str()));
}

std::string playBaseIn(const SearchPlace& place, const std::string& tag)
{
    return place.folder + "/" + playNameFor(place.base.substr(fileNameStart(place.base.c_str())), tag);
}

bool closeSearchFolder(const SearchPlace& place, SearchFolderLock& held)
{
    if (held.lock != invalidTrackHandle) platformUnlockFolder(held.lock, place.folder.c_str());
    held.lock = invalidTrackHandle;
    return platformRemoveFolder(place.folder.c_str());
}

FolderProblem openSearchPlace(SearchPlace& place, bool removeLeftovers, SearchFolderLock& held)
{
    platformWatchInterrupts();
    FolderProblem problem = makeSearchFolder(place, removeLeftovers, held);
    if (problem != folderReady) {
        platformStopWatchingInterrupts();
        return problem;
    }
    platformSetInterruptCleanupFolder(place.folder);
    return folderReady;
}

bool closeSearchPlace(const SearchPlace& place, SearchFolderLock& held)
{
    bool removed = closeSearchFolder(place, held);
    platformSetInterruptCleanupFolder("");
    platformStopWatchingInterrupts();
    return removed;
}
