#include "engine/settings.h"

TestSettingsRecord TestSettings = {defaultTrackCount, defaultRequestSize, defaultRequestSize,
                                   fixedTransferBufferSize, fixedTestDataBudget};

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

bool areChoiceSettings(const TestSettingsRecord& settings, uint32_t requestSize)
{
    return isTrackCountChoice(settings.trackCount) && isRequestSizeChoice(requestSize) &&
           settings.transferBufferSize == fixedTransferBufferSize &&
           settings.testDataBudget == fixedTestDataBudget;
}
