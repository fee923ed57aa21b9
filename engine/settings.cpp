#include "engine/settings.h"

TestSettingsRecord TestSettings = {defaultTrackCount, defaultRequestSize, defaultRequestSize,
                                   fixedTransferBufferSize, fixedTestDataBudget};

const uint32_t trackCountChoices[trackCountChoiceCount] = {1, 2, 12, 24, 36, 48, 60, 72};
const uint32_t requestSizeChoices[requestSizeChoiceCount] = {32768, 65536, 131072, 262144,
                                                             524288};

void* readBuffer = nullptr;
void* writeBuffer = nullptr;

bool isTrackCountChoice(uint32_t trackCount)
{
    for (uint32_t choice : trackCountChoices)
        if (choice == trackCount) return true;
    return false;
}

bool isRequestSizeChoice(uint32_t requestSize)
{
    for (uint32_t choice : requestSizeChoices)
        if (choice == requestSize) return true;
    return false;
}
