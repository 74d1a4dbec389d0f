// TPrintPreview (placeholder until the window lands)
#pragma once
