// Checks the C# binding against the library it finds: with "id X" Get() must return X, with
// "error S M" it must throw ComputerIdException with status S and message M.
using System;
using Lib_ComputerID;

static class BindingCheck
{
    static int Main(string[] args)
    {
        try {
            string id = ComputerId.Get();
            if (args[0] == "id" && id == args[1])
                return 0;
            Console.Error.WriteLine("Get() returned '" + id + "'");
        } catch (ComputerIdException error) {
            if (args[0] == "error" && (int)error.Status == int.Parse(args[1]) &&
                error.Message == args[2])
                return 0;
            Console.Error.WriteLine("ComputerIdException " + error.Status + ": " + error.Message);
        }
        return 1;
    }
}
