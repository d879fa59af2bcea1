// Checks the C# binding against the library it finds: with "id X KEY A V" Get() must return
// X, GetForApp(KEY) A and Describe() the verdict V; with "error S M" Get() must throw
// ComputerIdException with status S and message M.
using System;
using Lib_ComputerID;

static class BindingCheck
{
    static int Main(string[] args)
    {
        try {
            string id = ComputerId.Get();
            string appId = ComputerId.GetForApp(FromHex(args[2]));
            string verdict = ComputerId.Describe().Verdict;
            if (args[0] == "id" && id == args[1] && appId == args[3] && verdict == args[4])
                return 0;
            Console.Error.WriteLine("Get() returned '" + id + "', GetForApp() '" + appId +
                                    "', Describe() '" + verdict + "'");
        } catch (ComputerIdException error) {
            if (args[0] == "error" && (int)error.Status == int.Parse(args[1]) &&
                error.Message == args[2])
                return 0;
            Console.Error.WriteLine("ComputerIdException " + error.Status + ": " + error.Message);
        }
        return 1;
    }

    static byte[] FromHex(string hex)
    {
        var bytes = new byte[hex.Length / 2];
        for (int i = 0; i < bytes.Length; ++i)
            bytes[i] = Convert.ToByte(hex.Substring(2 * i, 2), 16);
        return bytes;
    }
}
