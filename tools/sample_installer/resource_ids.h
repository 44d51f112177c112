// Resource ids of the sample full installer.
#pragma once
#define IDR_SAMPLE_CLIENT 101
