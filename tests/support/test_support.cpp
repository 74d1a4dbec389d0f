// Builders and helpers shared by the tests.
