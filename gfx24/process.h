// TAdjuster24 (placeholder until the window lands)
#pragma once
