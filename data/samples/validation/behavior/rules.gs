// The rules of the sample behaviour.
class SampleRules
{
};
