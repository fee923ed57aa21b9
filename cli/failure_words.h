// The command line's words for what went wrong, out of the codes the rooms
// below it report: settings that cannot run, a search's folder, a session
// that could not start, the request (or close) that ended one, and what
// the user can do about each. The Windows program's own texts stay where
// they are; these name the command line's options.
#pragma once
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "search/search_folder.h"
#include "search/trial_bench.h"
#include "session/whole_session.h"

// Settings that cannot run, as a sentence naming the options to change.
std::string settingsProblemText(const SettingsCheck& check, bool severalFormats);
// A search's folder that could not be made.
std::string folderProblemText(FolderProblem problem, const SearchPlace& place, IoStatus why);
// After the plan: how to remove what earlier searches left, when they left any.
std::string leftoversHint(const std::vector<SearchFolder>& others);

// Says why a session could not start; returns the exit status.
int reportSetupFailure(const SetupResult& setup, const SessionConfig& config);
// Says which request (or close, or flush) ended a session, and why.
void reportAbort(bool readFailed, const std::string& file, bool closeFailed, bool writeBackFailed,
                 IoStatus why);
// What failed while a search wrote its playback files.
std::string playFileFailureText(const TrialFailure& failure);
// What stopped a search's trials as JSON, with the cause in words (null for nothing).
nlohmann::json failureJsonWithCause(const TrialFailure& failure);
// Says what stopped a search's trials, when something did.
void reportTrialFailure(const TrialFailure& failure);
