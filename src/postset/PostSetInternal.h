// State shared by the files of the PostSet unit; not for other units.
#pragma once

void SetRestartNeeded(bool value);
